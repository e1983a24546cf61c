// The arithmetic behind the deviation measurements: the band mapping, the moving median, the
// laying of a circle of given radius against a profile and the polar graph.
#include "measurements/Deviations.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

#include <algorithm>
#include <cmath>

namespace {

QVector<QPointF> arc(double cx, double cy, double r, double fromDeg, double toDeg, int n)
{
    QVector<QPointF> points;
    for (int i = 0; i < n; ++i) {
        const double a = (fromDeg + (toDeg - fromDeg) * i / (n - 1)) * M_PI / 180.0;
        points.append(QPointF(cx + r * std::cos(a), cy + r * std::sin(a)));
    }
    return points;
}

// The median as defined, by sorting every window.
QVector<double> referenceMedian(const QVector<double> &xs, const QVector<double> &values,
                                double width)
{
    QVector<double> out;
    int lo = 0;
    for (int i = 0; i < xs.size(); ++i) {
        while (lo < i && std::abs(xs.at(i) - xs.at(lo)) > width)
            ++lo;
        QVector<double> window = values.mid(lo, i - lo + 1);
        std::sort(window.begin(), window.end());
        out.append(window.at(window.size() / 2));
    }
    return out;
}

double smallestDistance(const QVector<QPointF> &points, const QPointF &c)
{
    double d = 1e300;
    for (const QPointF &p : points)
        d = std::min(d, std::hypot(p.x() - c.x(), p.y() - c.y()));
    return d;
}

} // namespace

class tst_Deviations : public QObject
{
    Q_OBJECT

private slots:
    void band_data();
    void band();
    void movingMedian_data();
    void movingMedian();
    void movingMedianMatchesItsDefinition();
    void refineCentre_data();
    void refineCentre();
    void refineCentreEndsOnAFlatMisfit();
    void settleCentre_data();
    void settleCentre();
    void polarGraph();
};

void tst_Deviations::band_data()
{
    QTest::addColumn<QVector<double>>("deviations");
    QTest::addColumn<QVector<double>>("expected"); // in the band [1, 3]
    QTest::newRow("spread") << QVector<double> {-0.5, 0.0, 1.5} << QVector<double> {1, 1.5, 3};
    QTest::newRow("reversed") << QVector<double> {4, 2, 3} << QVector<double> {3, 1, 2};
    // Equal deviations (a perfect fit) lie in the middle of the band, not divided by zero.
    QTest::newRow("all equal") << QVector<double> {0.25, 0.25, 0.25} << QVector<double> {2, 2, 2};
    QTest::newRow("one") << QVector<double> {7} << QVector<double> {2};
    QTest::newRow("none") << QVector<double> {} << QVector<double> {};
}

void tst_Deviations::band()
{
    QFETCH(QVector<double>, deviations);
    QFETCH(QVector<double>, expected);
    const QVector<double> mapped = mapIntoBand(deviations, 1.0, 2.0);
    QCOMPARE(mapped.size(), expected.size());
    for (int i = 0; i < mapped.size(); ++i)
        COMPARE_TOL(mapped.at(i), expected.at(i), 1e-15, 1e-15);
}

void tst_Deviations::movingMedian_data()
{
    QTest::addColumn<QVector<double>>("xs");
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<double>("width");
    QTest::addColumn<QVector<double>>("expected");
    QTest::newRow("window of 0.25")
        << QVector<double> {0, 0.1, 0.2, 0.3} << QVector<double> {1, 5, 2, 8} << 0.25
        << QVector<double> {1, 5, 2, 5};
    // Along decreasing x the window is the same: the distance counts in either direction.
    QTest::newRow("decreasing x") << QVector<double> {0.3, 0.2, 0.1, 0}
                                  << QVector<double> {1, 5, 2, 8} << 0.25
                                  << QVector<double> {1, 5, 2, 5};
    QTest::newRow("even window takes the upper middle")
        << QVector<double> {0, 1, 2, 3} << QVector<double> {4, 3, 2, 1} << 10.0
        << QVector<double> {4, 4, 3, 3};
    QTest::newRow("width 0 keeps the values")
        << QVector<double> {0, 1, 2} << QVector<double> {3, -1, 2} << 0.0
        << QVector<double> {3, -1, 2};
    QTest::newRow("sizes differ") << QVector<double> {0, 1} << QVector<double> {1} << 1.0
                                  << QVector<double> {};
    QTest::newRow("empty") << QVector<double> {} << QVector<double> {} << 1.0 << QVector<double> {};
}

void tst_Deviations::movingMedian()
{
    QFETCH(QVector<double>, xs);
    QFETCH(QVector<double>, values);
    QFETCH(double, width);
    QFETCH(QVector<double>, expected);
    QCOMPARE(::movingMedian(xs, values, width), expected);
}

void tst_Deviations::movingMedianMatchesItsDefinition()
{
    // Repeated values, a window that grows, shrinks and turns back, against the sorted windows.
    QVector<double> xs;
    QVector<double> values;
    double x = 0.0;
    for (int i = 0; i < 3000; ++i) {
        x += (i % 700 < 600 ? 1.0 : -0.5) * (0.001 + 0.002 * ((i * 7) % 5));
        xs.append(x);
        values.append(std::round(10 * std::sin(i * 0.37) * std::cos(i * 0.011)) / 10);
    }
    for (const double width : {0.0, 0.01, 0.25, 100.0})
        QCOMPARE(::movingMedian(xs, values, width), referenceMedian(xs, values, width));

    // A window of 10^5 points stays fast.
    QVector<double> bigX;
    QVector<double> bigV;
    for (int i = 0; i < 100000; ++i) {
        bigX.append(i * 1e-5);
        bigV.append(std::sin(i * 0.1));
    }
    QElapsedTimer timer;
    timer.start();
    const QVector<double> out = ::movingMedian(bigX, bigV, 1.0);
    QCOMPARE(out.size(), bigX.size());
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void tst_Deviations::refineCentre_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QPointF>("expected");
    QTest::addColumn<double>("tolerance");
    const QVector<QPointF> hollow = arc(2, 5, 3, 200, 340, 200);
    QTest::newRow("true radius, centre off")
        << hollow << QPointF(2.2, 4.9) << 3.0 << QPointF(2, 5) << 1e-3;
    QTest::newRow("true radius, centre exact")
        << hollow << QPointF(2, 5) << 3.0 << QPointF(2, 5) << 1e-12;
    QTest::newRow("micrometres") << arc(2000, 5000, 3000, 200, 340, 200) << QPointF(2200, 4900)
                                 << 3000.0 << QPointF(2000, 5000) << 1.0;
    // Nothing to refine with a radius of zero or below.
    QTest::newRow("radius 0") << hollow << QPointF(2.2, 4.9) << 0.0 << QPointF(2.2, 4.9) << 0.0;
    QTest::newRow("negative radius")
        << hollow << QPointF(2.2, 4.9) << -1.0 << QPointF(2.2, 4.9) << 0.0;
}

void tst_Deviations::refineCentre()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(QPointF, start);
    QFETCH(double, radius);
    QFETCH(QPointF, expected);
    QFETCH(double, tolerance);
    const QPointF c = ::refineCentre(points, start, radius);
    COMPARE_TOL(c.x(), expected.x(), 0.0, tolerance);
    COMPARE_TOL(c.y(), expected.y(), 0.0, tolerance);
    QVERIFY(radialMisfit(points, c, radius) <= radialMisfit(points, start, radius));
}

void tst_Deviations::refineCentreEndsOnAFlatMisfit()
{
    // Mirror-symmetric points inside the circle: along the line through them the misfit is the
    // same at every centre between them, so a step to an equal value would go back and forth
    // for ever. The search never steps sideways and ends where the circle passes through both.
    const QVector<QPointF> points {QPointF(-1, 0), QPointF(1, 0)};
    const QPointF two = ::refineCentre(points, QPointF(0, 0), 5.0);
    QCOMPARE(two.x(), 0.0);
    COMPARE_TOL(std::abs(two.y()), std::sqrt(24.0), 0.0, 5e-5);
    // A symmetric arc given a radius much larger than its own has two mirrored best centres,
    // one on each side. Starting on the axis, the search ends on the same side in every unit.
    const QVector<QPointF> mm = arc(0, 0, 1, 200, 340, 101);
    const QVector<QPointF> um = arc(0, 0, 1000, 200, 340, 101);
    const QPointF inMm = ::refineCentre(mm, QPointF(0, 0), 50.0);
    const QPointF inUm = ::refineCentre(um, QPointF(0, 0), 50000.0);
    QVERIFY(std::abs(inMm.x()) > 1.0);
    COMPARE_TOL(inUm.x(), inMm.x() * 1000, 1e-6, 0.0);
    COMPARE_TOL(inUm.y(), inMm.y() * 1000, 1e-6, 0.0);
}

void tst_Deviations::settleCentre_data()
{
    QTest::addColumn<QVector<QPointF>>("points");
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("settles");
    QTest::addColumn<double>("expectedY");
    // An arc below its centre (a hollow), seen from above with its true radius: the circle
    // comes to rest on it from above, touching it, no point inside.
    const QVector<QPointF> hollow = arc(2, 5, 3, 200, 340, 200);
    QTest::newRow("hollow, from above") << hollow << QPointF(2, 5.4) << 3.0 << true << 5.0;
    QTest::newRow("hollow, from inside") << hollow << QPointF(2, 4.7) << 3.0 << true << 5.0;
    // A crest: the centre below most points rises until the circle touches from below.
    QTest::newRow("crest") << arc(2, -5, 3, 20, 160, 200) << QPointF(2, -5.5) << 3.0 << true
                           << -5.0;
    // A radius much smaller than the gaps between the points: the circle slips between them
    // and never rests.
    QTest::newRow("radius between the points")
        << QVector<QPointF> {QPointF(0, 0), QPointF(1, 0), QPointF(2, 0), QPointF(0.5, 2)}
        << QPointF(1.5, 1) << 0.1 << false << 1.0;
    QTest::newRow("radius 0 changes nothing") << hollow << QPointF(2, 5.4) << 0.0 << true << 5.4;
}

void tst_Deviations::settleCentre()
{
    QFETCH(QVector<QPointF>, points);
    QFETCH(QPointF, start);
    QFETCH(double, radius);
    QFETCH(bool, settles);
    QFETCH(double, expectedY);
    QPointF c = start;
    QCOMPARE(::settleCentre(points, c, radius), settles);
    QCOMPARE(c.x(), start.x());
    if (!settles || !(radius > 0)) {
        QCOMPARE(c, start);
        return;
    }
    // Resting: every point outside, the nearest one within the last step of the circle.
    COMPARE_TOL(c.y(), expectedY, 0.0, radius * 1e-4);
    const double nearest = smallestDistance(points, c);
    QVERIFY(nearest > radius);
    QVERIFY(nearest - radius < radius * 1e-4);
}

void tst_Deviations::polarGraph()
{
    // Four points round (1, 1) at radius 2 with deviations 0, 1, 2 and 4: the largest on the
    // circle, the smallest the height of the band outside it.
    const QPointF c(1, 1);
    const QVector<QPointF> points {QPointF(3, 1), QPointF(1, 3), QPointF(-1, 1), QPointF(1, -1)};
    const QVector<QPointF> out = polarGraphPoints(points, {0, 1, 2, 4}, c, 2.0, 0.5);
    QCOMPARE(out.size(), 4);
    const double rho[4] = {2.5, 2.375, 2.25, 2.0};
    for (int i = 0; i < 4; ++i) {
        const QPointF d = points.at(i) - c;
        const QPointF expected = c + d * (rho[i] / 2.0);
        COMPARE_TOL(out.at(i).x(), expected.x(), 0.0, 1e-12);
        COMPARE_TOL(out.at(i).y(), expected.y(), 0.0, 1e-12);
    }
    // Equal deviations: all at the outer edge of the band; fewer deviations than points: as
    // far as both reach.
    const QVector<QPointF> flat = polarGraphPoints(points, {3, 3}, c, 2.0, 0.5);
    QCOMPARE(flat.size(), 2);
    COMPARE_TOL(flat.at(0).x(), 3.5, 0.0, 1e-12);
}

QTEST_APPLESS_MAIN(tst_Deviations)
#include "tst_Deviations.moc"
