#include "processing/Fitting.h"
#include "support/TestSupport.h"

#include <qcustomplot.h>

// The fits take the plot library's own containers: graph data (key, value) and curve data
// (t, key, value), whose iterators are plain pointers.
class tst_FittingPlotData : public QObject
{
    Q_OBJECT

private slots:
    void graphAndCurveRanges();
};

void tst_FittingPlotData::graphAndCurveRanges()
{
    QCPGraphDataContainer graph;
    QCPCurveDataContainer curve;
    for (int i = 0; i < 6; ++i) {
        const double x = i - 2.0;
        graph.add(QCPGraphData(x, 1 + 2 * x + 3 * x * x));
        // The curve runs backwards in t so its key order is not its storage order.
        curve.add(QCPCurveData(10 - i, x, 4 - 0.5 * x));
    }
    PolynomialRegression regression;
    int order = 2;
    QVector<double> coefficients;
    QVERIFY(regression.fit(graph.constBegin(), graph.constEnd(), order, coefficients));
    COMPARE_TOL(coefficients.value(0), 1.0, 1e-13, 1e-13);
    COMPARE_TOL(coefficients.value(1), 2.0, 1e-13, 1e-13);
    COMPARE_TOL(coefficients.value(2), 3.0, 1e-13, 1e-13);

    const Algos::RMS line(curve.constBegin(), curve.constBegin() + 3, curve.constBegin() + 3,
                          curve.constEnd());
    COMPARE_TOL(line.coefficient(0), 4.0, 1e-14, 1e-14);
    COMPARE_TOL(line.coefficient(1), -0.5, 1e-14, 1e-14);
    const Algos::RMS first(curve.constBegin(), curve.constBegin() + 3);
    QVERIFY(first.isValid());
    const Algos::RMS fromGraph(graph.constBegin(), graph.constEnd());
    QVERIFY(fromGraph.isValid());
}

QTEST_GUILESS_MAIN(tst_FittingPlotData)
#include "tst_FittingPlotData.moc"
