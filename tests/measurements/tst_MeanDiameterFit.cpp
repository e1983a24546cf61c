#include "measurements/MeanDiameterFit.h"

#include <QtTest>

#include <cmath>

namespace {

// A trapezoidal thread of period 1 and height 1: ridge flats 0.2 wide, groove flats 0.4 wide,
// flanks 0.2 wide in X; sampled every `step` over `periods` whole periods, scaled by `unit`.
QVector<QPointF> trapezoid(int periods, double step, double unit, double tilt = 0.0)
{
    QVector<QPointF> points;
    const int n = int(std::lround(periods / step));
    for (int i = 0; i <= n; ++i) {
        const double x = i * step;
        const double u = x - std::floor(x);
        double y;
        if (u < 0.2)
            y = 0.0; // groove flat, first half
        else if (u < 0.4)
            y = (u - 0.2) / 0.2; // rising flank
        else if (u < 0.6)
            y = 1.0; // ridge flat
        else if (u < 0.8)
            y = 1.0 - (u - 0.6) / 0.2; // falling flank
        else
            y = 0.0; // groove flat, second half
        points << QPointF(x, y + tilt * x) * unit;
    }
    return points;
}

} // namespace

class TestMeanDiameterFit : public QObject
{
    Q_OBJECT

private slots:
    void trapezoidThread_data();
    void trapezoidThread();
    void sameLineInEveryUnit_data();
    void sameLineInEveryUnit();
    void refusals_data();
    void refusals();
    void crossingError();
};

void TestMeanDiameterFit::trapezoidThread_data()
{
    QTest::addColumn<double>("unit");
    QTest::addColumn<double>("tilt");

    QTest::newRow("millimetres") << 1.0 << 0.0;
    QTest::newRow("micrometres") << 1000.0 << 0.0;
    QTest::newRow("nanometres") << 1e6 << 0.0;
    QTest::newRow("tilted trace") << 1.0 << 0.05;
}

// The least-squares line lies at 0.4, where ridges are 0.44 and grooves 0.56 wide; at 0.25 both
// are 0.5, and that is where the fit must go, in whatever unit the trace is shown.
void TestMeanDiameterFit::trapezoidThread()
{
    QFETCH(double, unit);
    QFETCH(double, tilt);
    const QVector<QPointF> points = trapezoid(6, 0.001, unit, tilt);
    MeanDiameterFit fit(points);
    QCOMPARE(fit.fit(), MeanDiameterFit::Fitted);
    QVERIFY2(std::abs(fit.slope() - tilt) < 1e-3, qPrintable(QString::number(fit.slope())));
    const double middle = fit.valueAt(3.0 * unit) / unit - tilt * 3.0;
    QVERIFY2(std::abs(middle - 0.25) < 0.01, qPrintable(QString::number(middle)));
    QCOMPARE(fit.xMin(), 0.0);
    QCOMPARE(fit.xMax(), 6.0 * unit);
}

void TestMeanDiameterFit::sameLineInEveryUnit_data()
{
    QTest::addColumn<int>("periods");
    QTest::addColumn<double>("step"); // sample spacing, in periods
    QTest::addColumn<double>("pitch"); // µm
    QTest::addColumn<double>("tilt");
    QTest::addColumn<QPointF>("origin"); // µm

    QTest::newRow("trapezoid, 1 mm pitch") << 6 << 0.001 << 1000.0 << 0.0 << QPointF(0, 0);
    QTest::newRow("trapezoid away from the origin")
        << 5 << 0.002 << 1500.0 << 0.0 << QPointF(12345.6, -2718.3);
    QTest::newRow("tilted trace") << 6 << 0.001 << 750.0 << 0.03 << QPointF(2000, 500);
    QTest::newRow("coarse sampling") << 8 << 0.01 << 1000.0 << -0.02 << QPointF(-300, 40);
}

// The window gives the fit the trace (micrometres) times the display unit's factor: 0.001 for
// millimetres, 1 for micrometres, 1000 for nanometres. The mean-diameter line must be the same
// line in each, not another one the rounding of the unit happened to lead the search to.
void TestMeanDiameterFit::sameLineInEveryUnit()
{
    QFETCH(int, periods);
    QFETCH(double, step);
    QFETCH(double, pitch);
    QFETCH(double, tilt);
    QFETCH(QPointF, origin);
    const QVector<QPointF> micrometres = trapezoid(periods, step, pitch, tilt);
    struct Line
    {
        double slope;
        double intercept; // µm
    };
    QVector<Line> lines;
    for (double factor : {0.001, 1.0, 1000.0}) {
        QVector<QPointF> shown;
        for (const QPointF &p : micrometres)
            shown << QPointF((p.x() + origin.x()) * factor, (p.y() + origin.y()) * factor);
        MeanDiameterFit fit(shown);
        QCOMPARE(fit.fit(), MeanDiameterFit::Fitted);
        lines.append({fit.slope(), fit.intercept() / factor});
    }
    // The middle of the thread, in micrometres: the equal-width height of the profile.
    const double middleX = origin.x() + periods * pitch / 2;
    const double middle
        = lines[0].intercept + lines[0].slope * middleX - origin.y() - tilt * periods * pitch / 2;
    // Crossings fall on samples: on a flank, samples lie 5·step apart in height.
    QVERIFY2(std::abs(middle / pitch - 0.25) < std::max(0.01, 5 * step),
             qPrintable(QString::number(middle)));
    for (int unit = 1; unit < lines.size(); ++unit) {
        const QString where = QStringLiteral("unit %1: slope %2 / %3, intercept %4 / %5 µm")
                                  .arg(unit)
                                  .arg(lines[unit].slope, 0, 'g', 17)
                                  .arg(lines[0].slope, 0, 'g', 17)
                                  .arg(lines[unit].intercept, 0, 'g', 17)
                                  .arg(lines[0].intercept, 0, 'g', 17);
        QVERIFY2(std::abs(lines[unit].slope - lines[0].slope) <= 1e-9, qPrintable(where));
        const double atMiddle = lines[unit].intercept + lines[unit].slope * middleX;
        const double atMiddle0 = lines[0].intercept + lines[0].slope * middleX;
        QVERIFY2(std::abs(lines[unit].intercept - lines[0].intercept)
                     <= 1e-9 * std::max(1.0, std::abs(lines[0].intercept)),
                 qPrintable(where));
        QVERIFY2(std::abs(atMiddle - atMiddle0) <= 1e-9 * pitch, qPrintable(where));
    }
}

void TestMeanDiameterFit::refusals_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<int>("outcome");

    QVector<QPointF> ridge;
    for (int i = 0; i <= 300; ++i) {
        const double x = i * 0.01;
        ridge << QPointF(x, x < 1 || x > 2 ? 0.0 : 1.0 - std::abs(x - 1.5) * 2);
    }
    QVector<QPointF> singleRidge;
    for (int i = 0; i <= 100; ++i)
        singleRidge << QPointF(i * 0.01, std::sin(i * 0.01 * 3.14159));
    QTest::newRow("a single ridge with flat tails")
        << ridge << int(MeanDiameterFit::TooFewCrossings);
    QTest::newRow("a single arch") << singleRidge << int(MeanDiameterFit::TooFewCrossings);
    QTest::newRow("a straight line") << QVector<QPointF> {{0, 0}, {1, 1}, {2, 2}, {3, 3}}
                                     << int(MeanDiameterFit::TooFewCrossings);
    QTest::newRow("one point") << QVector<QPointF> {{1, 1}} << int(MeanDiameterFit::TooFewPoints);
    QTest::newRow("no points") << QVector<QPointF> {} << int(MeanDiameterFit::TooFewPoints);
    QTest::newRow("one X") << QVector<QPointF> {{1, 1}, {1, 2}, {1, 0}}
                           << int(MeanDiameterFit::TooFewPoints);
}

void TestMeanDiameterFit::refusals()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(int, outcome);
    MeanDiameterFit fit(points);
    QCOMPARE(int(fit.fit()), outcome);
}

void TestMeanDiameterFit::crossingError()
{
    const QVector<QPointF> points = trapezoid(4, 0.001, 1.0);
    MeanDiameterFit fit(points);
    // At 0.25 the stretches are equal; at 0.4 they alternate 0.44 and 0.56.
    QVERIFY(fit.crossingError(0.25, 0.0) < 0.02);
    QVERIFY(std::abs(fit.crossingError(0.4, 0.0) - 6 * 0.06) < 0.02);
    // A line that crosses only twice leaves no whole ridge and groove: rejected, not perfect.
    QVector<QPointF> two {{0, 0}, {1, 2}, {2, 2}, {3, 0}, {4, 0}};
    MeanDiameterFit twice(two);
    QCOMPARE(twice.crossingError(1.0, 0.0), MeanDiameterFit::kRejected);
    // A first point on the line does not hide the crossings after it.
    QVector<QPointF> onLine = points;
    onLine[0].setY(0.25);
    MeanDiameterFit fromOnLine(onLine);
    QVERIFY(fromOnLine.crossingError(0.25, 0.0) < 0.02);
}

QTEST_APPLESS_MAIN(TestMeanDiameterFit)
#include "tst_MeanDiameterFit.moc"
