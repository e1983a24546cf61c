#include "processing/Fitting.h"
#include "support/TestSupport.h"

#include <stdexcept>

namespace {

// A plot point as the plot's data containers hold it.
struct Point
{
    double key;
    double value;
};

} // namespace

class tst_Fitting : public QObject
{
    Q_OBJECT

private slots:
    void lineThroughPoints_data();
    void lineThroughPoints();
    void lineFarFromOrigin();
    void lineDegenerateIsInvalid_data();
    void lineDegenerateIsInvalid();
    void lineFromRanges();
    void coefficientAccess();
    void polynomialExact_data();
    void polynomialExact();
    void polynomialLeastSquaresOracle();
    void polynomialBadInput();
};

void tst_Fitting::lineThroughPoints_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::addColumn<double>("c0");
    QTest::addColumn<double>("c1");
    QTest::newRow("exact line") << QVector<double> {0, 1, 2} << QVector<double> {1, 3, 5} << 1.0
                                << 2.0;
    QTest::newRow("two points") << QVector<double> {2, 6} << QVector<double> {-1, 7} << -5.0 << 2.0;
    // Symmetric scatter about y = 3 − 0.5x: residuals +1, −1, −1, +1 at x = 0, 1, 2, 3 are
    // orthogonal to 1 and x, so the fit is the line itself.
    QTest::newRow("scatter") << QVector<double> {0, 1, 2, 3} << QVector<double> {4, 1.5, 1, 2.5}
                             << 3.0 << -0.5;
    QTest::newRow("longer y is cut")
        << QVector<double> {0, 1} << QVector<double> {0, 1, 99} << 0.0 << 1.0;
}

void tst_Fitting::lineThroughPoints()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    QFETCH(double, c0);
    QFETCH(double, c1);
    const Algos::RMS line(x, y);
    QVERIFY(line.isValid());
    COMPARE_TOL(line.coefficient(0), c0, 1e-14, 1e-14);
    COMPARE_TOL(line.coefficient(1), c1, 1e-14, 1e-14);
    COMPARE_TOL(line.value(10), c0 + 10 * c1, 1e-14, 1e-14);
    // The profile form takes channel 0 as x and channel 1 as y.
    const Algos::RMS fromProfile(QVector<QVector<double>> {x, y});
    QCOMPARE(fromProfile.coefficients, line.coefficients);
}

void tst_Fitting::lineFarFromOrigin()
{
    // A 10 mm trace sampled every 0.1 µm: raw sums of x² lose the slope, centred sums keep it.
    QVector<double> x;
    QVector<double> y;
    for (int i = 0; i < 100000; ++i) {
        x.append(1e6 + i * 0.1);
        y.append(0.25 + 1e-3 * x.last());
    }
    const Algos::RMS line(x, y);
    COMPARE_REL(line.coefficient(1), 1e-3, 1e-9);
    COMPARE_REL(line.value(1e6), 0.25 + 1e3, 1e-12);
}

void tst_Fitting::lineDegenerateIsInvalid_data()
{
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("y");
    QTest::newRow("empty") << QVector<double> {} << QVector<double> {};
    QTest::newRow("one point") << QVector<double> {1} << QVector<double> {2};
    QTest::newRow("equal x") << QVector<double> {0.1, 0.1, 0.1} << QVector<double> {1, 2, 3};
    QTest::newRow("short y") << QVector<double> {0, 1, 2} << QVector<double> {0, 1};
    QTest::newRow("not a number") << QVector<double> {0, 1, 2}
                                  << QVector<double> {0, std::nan(""), 2};
}

void tst_Fitting::lineDegenerateIsInvalid()
{
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, y);
    const Algos::RMS line(x, y);
    QVERIFY(!line.isValid());
    QVERIFY(std::isnan(line.value(1)));
    QVERIFY(std::isnan(line.coefficient(0)));
    QVERIFY(!Algos::RMS().isValid());
    QVERIFY(!Algos::RMS(QVector<QVector<double>> {x}).isValid());
}

void tst_Fitting::lineFromRanges()
{
    const QVector<Point> first {{0, 0}, {1, 1}};
    const QVector<Point> second {{2, 2}, {3, 3.5}};
    const QVector<Point> all = first + second;
    const Algos::RMS pooled(first.cbegin(), first.cend(), second.cbegin(), second.cend());
    const Algos::RMS whole(all.cbegin(), all.cend());
    QVERIFY(whole.isValid());
    QCOMPARE(pooled.coefficients, whole.coefficients);
    // A second range with equal ends, or with a missing end, adds nothing.
    const Algos::RMS single(first.cbegin(), first.cend());
    QCOMPARE(
        Algos::RMS(first.cbegin(), first.cend(), second.cbegin(), second.cbegin()).coefficients,
        single.coefficients);
    QCOMPARE(
        Algos::RMS(first.cbegin(), first.cend(), second.cbegin(), QVector<Point>::const_iterator())
            .coefficients,
        single.coefficients);
    COMPARE_TOL(single.value(5), 5.0, 1e-15, 1e-15);
    QVERIFY(!Algos::RMS(first.cbegin(), first.cbegin()).isValid());
}

void tst_Fitting::coefficientAccess()
{
    Algos::RMS line(QVector<double> {1, 2});
    QVERIFY(line.isValid());
    line.setCoefficient(0, line.coefficient(0) + 0.5);
    QCOMPARE(line.value(2), 1.5 + 4.0);
    // Indices that hold no coefficient are ignored on write and read as not a number.
    line.setCoefficient(5, 1.0);
    line.setCoefficient(-1, 1.0);
    QCOMPARE(line.coefficients.size(), 2);
    QVERIFY(std::isnan(line.coefficient(2)));
    Algos::RMS empty;
    empty.setCoefficient(0, 1.0);
    QVERIFY(!empty.isValid());
    // A later assignment fills an empty fit.
    empty = Algos::RMS(QVector<double> {0, 1}, QVector<double> {1, 1});
    QCOMPARE(empty.value(7), 1.0);
}

void tst_Fitting::polynomialExact_data()
{
    QTest::addColumn<int>("order");
    QTest::addColumn<QVector<double>>("x");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("quadratic") << 2 << QVector<double> {-1, 0, 1, 2} << QVector<double> {1, 2, 3};
    QTest::newRow("line") << 1 << QVector<double> {-3, 0.5, 4} << QVector<double> {-2, 0.25};
    QTest::newRow("cubic") << 3 << QVector<double> {-2, -1, 0, 1, 2, 3}
                           << QVector<double> {0.5, -1, 0, 2};
    QTest::newRow("constant") << 0 << QVector<double> {5, 6} << QVector<double> {4};
    // Positions along a trace in micrometres: the matrix spans many decades.
    QTest::newRow("far from origin")
        << 2 << QVector<double> {1000, 2000, 3000, 4000, 5000} << QVector<double> {3, -2e-3, 1e-7};
}

void tst_Fitting::polynomialExact()
{
    QFETCH(int, order);
    QFETCH(QVector<double>, x);
    QFETCH(QVector<double>, expected);
    QVector<double> y;
    for (double xi : x) {
        double v = 0;
        for (int r = expected.size() - 1; r >= 0; --r)
            v = v * xi + expected.at(r);
        y.append(v);
    }
    PolynomialRegression regression;
    QVector<double> coefficients;
    QVERIFY(regression.fit(x, y, order, coefficients));
    QCOMPARE(coefficients.size(), order + 1);
    for (int r = 0; r <= order; ++r)
        COMPARE_TOL(coefficients.at(r), expected.at(r), 1e-9, 1e-13);
    // The range form fits the same points.
    QVector<Point> points;
    for (int i = 0; i < x.size(); ++i)
        points.append({x.at(i), y.at(i)});
    QVector<double> fromRange;
    QVERIFY(regression.fit(points.cbegin(), points.cend(), order, fromRange));
    QCOMPARE(fromRange, coefficients);
}

void tst_Fitting::polynomialLeastSquaresOracle()
{
    // y = x² at x = −1, 0, 1 fitted by a line: the normal equations give 2/3 + 0·x.
    PolynomialRegression regression;
    int order = 1;
    QVector<double> coefficients;
    QVERIFY(regression.fit({-1, 0, 1}, {1, 0, 1}, order, coefficients));
    COMPARE_TOL(coefficients.at(0), 2.0 / 3.0, 1e-15, 0);
    COMPARE_TOL(coefficients.at(1), 0.0, 0, 1e-15);
    // The straight-line fit of the same points agrees.
    const Algos::RMS line(QVector<double> {-1, 0, 1}, QVector<double> {1, 0, 1});
    COMPARE_TOL(line.coefficient(0), coefficients.at(0), 1e-15, 0);
}

void tst_Fitting::polynomialBadInput()
{
    PolynomialRegression regression;
    QVector<double> coefficients {7};
    int order = 1;
    QVERIFY_EXCEPTION_THROWN(regression.fit({1}, {1, 2}, order, coefficients), std::runtime_error);
    try {
        regression.fit({1}, {1, 2}, order, coefficients);
    } catch (const std::runtime_error &error) {
        QCOMPARE(QString::fromLatin1(error.what()),
                 QStringLiteral("The size of x & y arrays are different"));
    }
    QVERIFY(!regression.fit({}, {}, order, coefficients));
    // Fewer distinct x than order + 1: no fit instead of meaningless numbers.
    int quadratic = 2;
    QVERIFY(!regression.fit({1, 1, 2, 2}, {0, 1, 2, 3}, quadratic, coefficients));
    int negative = -1;
    QVERIFY(!regression.fit({1, 2}, {1, 2}, negative, coefficients));
    QVERIFY(!regression.fit({0, 1, 2}, {0, std::nan(""), 2}, order, coefficients));
    const QVector<Point> none;
    QVERIFY(!regression.fit(none.cbegin(), none.cend(), order, coefficients));
    QCOMPARE(coefficients, QVector<double> {7});
}

QTEST_GUILESS_MAIN(tst_Fitting)
#include "tst_Fitting.moc"
