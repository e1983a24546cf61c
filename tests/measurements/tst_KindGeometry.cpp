// The calculations of the distance, radius, angle and extreme-point measurements on synthetic
// contours with known answers.
#include "measurements/KindGeometry.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>

#include <cmath>
#include <limits>

namespace {

struct Point
{
    double key;
    double value;
};

using Points = QVector<Point>;

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

Points fromValues(const QVector<double> &values)
{
    Points points;
    for (int i = 0; i < values.size(); ++i)
        points.append({double(i), values.at(i)});
    return points;
}

Points linePoints(double x0, double y0, double dx, double dy, int n)
{
    Points points;
    for (int i = 0; i < n; ++i)
        points.append({x0 + i * dx, y0 + i * dy});
    return points;
}

// A groove y = |x| (valley, sign 1) or a ridge y = -|x| (sign -1) from x = -5 to 5.
Points groove(double sign, double scale = 1.0)
{
    Points points;
    for (int i = -50; i <= 50; ++i) {
        const double x = i * 0.1;
        points.append({x * scale, sign * std::abs(x) * scale});
    }
    return points;
}

Points circlePoints(double cx, double cy, double r, int n)
{
    Points points;
    for (int i = 0; i < n; ++i) {
        const double a = 2.0 * M_PI * i / n;
        points.append({cx + r * std::cos(a), cy + r * std::sin(a)});
    }
    return points;
}

QPointF direction(double degrees)
{
    return QPointF(std::cos(degrees * M_PI / 180.0), std::sin(degrees * M_PI / 180.0));
}

} // namespace

Q_DECLARE_METATYPE(Points)

class tst_KindGeometry : public QObject
{
    Q_OBJECT

private slots:
    void extremeIndex_data();
    void extremeIndex();
    void leastSquaresValueAt_data();
    void leastSquaresValueAt();
    void directDimension_data();
    void directDimension();
    void searchCircleCentre_data();
    void searchCircleCentre();
    void mirrorImageTakesOneSideInEveryUnit();
    void settleCircleVertically_data();
    void settleCircleVertically();
    void degenerateCirclesEndQuickly_data();
    void degenerateCirclesEndQuickly();
    void angleSector_data();
    void angleSector();
    void degreesMinutesSeconds_data();
    void degreesMinutesSeconds();
    void nearestValue_data();
    void nearestValue();
    void unitConversion_data();
    void unitConversion();
};

void tst_KindGeometry::extremeIndex_data()
{
    QTest::addColumn<QVector<double>>("values");
    QTest::addColumn<int>("highest");
    QTest::addColumn<int>("lowest");
    QTest::newRow("step up") << QVector<double> {1, 1, 1, 4, 4, 4} << 3 << 0;
    QTest::newRow("peak and pit") << QVector<double> {0, 2, 5, 2, -3, 0} << 2 << 4;
    QTest::newRow("maximum twice") << QVector<double> {0, 7, 1, 7, -1, -1} << 1 << 4;
    QTest::newRow("one point") << QVector<double> {2.5} << 0 << 0;
    QTest::newRow("none") << QVector<double> {} << -1 << -1;
    QTest::newRow("not a number first") << QVector<double> {kNaN, 3, 1} << 1 << 2;
    QTest::newRow("only not a number") << QVector<double> {kNaN, kNaN} << -1 << -1;
}

void tst_KindGeometry::extremeIndex()
{
    QFETCH(QVector<double>, values);
    QFETCH(int, highest);
    QFETCH(int, lowest);
    const Points points = fromValues(values);
    QCOMPARE(::extremeIndex(points.cbegin(), points.cend(), true), highest);
    QCOMPARE(::extremeIndex(points.cbegin(), points.cend(), false), lowest);
}

void tst_KindGeometry::leastSquaresValueAt_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("expected"); // NaN: no line
    QTest::newRow("level at 2") << linePoints(0, 2, 0.1, 0, 11) << 0.5 << 2.0;
    QTest::newRow("slope 1/2") << linePoints(0, 1, 1, 0.5, 9) << 3.0 << 2.5;
    // A saw tooth around y = 5: the line is its mean level.
    QTest::newRow("saw tooth") << Points {{0, 4}, {1, 6}, {2, 4}, {3, 6}, {4, 4}, {5, 6}} << 2.5
                               << 5.0;
    QTest::newRow("vertical flank") << linePoints(3, 0, 0, 1, 5) << 3.0 << kNaN;
    QTest::newRow("one point") << Points {{1, 1}} << 1.0 << kNaN;
    QTest::newRow("not a number") << Points {{0, 1}, {1, kNaN}, {2, 3}} << 1.0 << kNaN;
    QTest::newRow("none") << Points {} << 0.0 << kNaN;
}

void tst_KindGeometry::leastSquaresValueAt()
{
    QFETCH(Points, points);
    QFETCH(double, x);
    QFETCH(double, expected);
    const double y = ::leastSquaresValueAt(points.cbegin(), points.cend(), x);
    if (std::isnan(expected))
        QVERIFY2(std::isnan(y), qPrintable(QString::number(y)));
    else
        COMPARE_TOL(y, expected, 1e-12, 1e-12);
}

void tst_KindGeometry::directDimension_data()
{
    QTest::addColumn<QPointF>("p1");
    QTest::addColumn<QPointF>("p2");
    QTest::addColumn<QPointF>("cursor");
    QTest::addColumn<QPointF>("offset");
    QTest::addColumn<bool>("below");
    QTest::newRow("cursor above") << QPointF(0, 0) << QPointF(4, 0) << QPointF(2, 3)
                                  << QPointF(0, 3) << false;
    QTest::newRow("cursor below") << QPointF(0, 0) << QPointF(4, 0) << QPointF(9, -1)
                                  << QPointF(0, -1) << true;
    QTest::newRow("oblique") << QPointF(0, 0) << QPointF(3, 4) << QPointF(-4, 3) << QPointF(-4, 3)
                             << false;
    QTest::newRow("cursor on the line")
        << QPointF(1, 1) << QPointF(3, 3) << QPointF(2, 2) << QPointF(0, 0) << false;
    QTest::newRow("same point") << QPointF(1, 1) << QPointF(1, 1) << QPointF(5, 7) << QPointF(0, 0)
                                << false;
    QTest::newRow("cursor not a number")
        << QPointF(0, 0) << QPointF(1, 0) << QPointF(kNaN, 1) << QPointF(0, 0) << false;
}

void tst_KindGeometry::directDimension()
{
    QFETCH(QPointF, p1);
    QFETCH(QPointF, p2);
    QFETCH(QPointF, cursor);
    QFETCH(QPointF, offset);
    QFETCH(bool, below);
    const DirectDimension d = ::directDimension(p1, p2, cursor);
    COMPARE_TOL(d.offset.x(), offset.x(), 1e-12, 1e-12);
    COMPARE_TOL(d.offset.y(), offset.y(), 1e-12, 1e-12);
    QCOMPARE(d.below, below);
}

void tst_KindGeometry::searchCircleCentre_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<double>("radius");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("whole circle") << circlePoints(2, 3, 5, 72) << QPointF(2.4, 2.7) << 5.0
                                  << QPointF(2, 3);
    QTest::newRow("far start") << circlePoints(-1, 1, 2, 90) << QPointF(0.5, 0.2) << 2.0
                               << QPointF(-1, 1);
    QTest::newRow("micrometres") << circlePoints(2000, 3000, 5000, 72) << QPointF(2400, 2700)
                                 << 5000.0 << QPointF(2000, 3000);
    QTest::newRow("radius 0 stays")
        << circlePoints(0, 0, 1, 12) << QPointF(0.3, 0.1) << 0.0 << QPointF(0.3, 0.1);
}

void tst_KindGeometry::searchCircleCentre()
{
    QFETCH(Points, points);
    QFETCH(QPointF, start);
    QFETCH(double, radius);
    QFETCH(QPointF, expected);
    const QPointF c = ::searchCircleCentre(points.cbegin(), points.cend(), start, radius);
    const double tolerance = std::max(radius, 1.0) * 1e-4;
    COMPARE_TOL(c.x(), expected.x(), 0.0, tolerance);
    COMPARE_TOL(c.y(), expected.y(), 0.0, tolerance);
}

void tst_KindGeometry::mirrorImageTakesOneSideInEveryUnit()
{
    // A groove symmetric about x = 0 and a start on its axis: the cost is the same on both
    // sides, so the search must pick its side from the order of the moves, not from rounding,
    // which differs between units.
    QVector<QPointF> found;
    for (const double scale : {1.0, 1e3, 1e6}) {
        const Points points = groove(1.0, scale);
        const QPointF start(0.0, 2.0 * scale);
        const double r = 1.0 * scale;
        QPointF c = ::searchCircleCentre(points.cbegin(), points.cend(), start, r);
        c.setY(::settleCircleVertically(points.cbegin(), points.cend(), c, r));
        found.append(c / scale);
    }
    for (const QPointF &c : qAsConst(found)) {
        COMPARE_TOL(c.x(), found.first().x(), 0.0, 1e-6);
        COMPARE_TOL(c.y(), found.first().y(), 0.0, 1e-6);
    }
}

void tst_KindGeometry::settleCircleVertically_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<QPointF>("centre");
    QTest::addColumn<double>("radius");
    QTest::addColumn<double>("expected");
    // A circle of radius 1 in a 90° groove touches both flanks with its centre √2 above the
    // bottom; under a ridge it touches from below.
    QTest::newRow("sinks into a groove") << groove(1.0) << QPointF(0, 3) << 1.0 << std::sqrt(2.0);
    // Started below most of the points, it is pushed down until it clears the bottom point.
    QTest::newRow("below the flanks") << groove(1.0) << QPointF(0, 0.5) << 1.0 << -1.0;
    QTest::newRow("rises under a ridge")
        << groove(-1.0) << QPointF(0, -3) << 1.0 << -std::sqrt(2.0);
    QTest::newRow("micrometres") << groove(1.0, 1e3) << QPointF(0, 3000) << 1000.0
                                 << 1000.0 * std::sqrt(2.0);
    // As many points above the centre as below: it stays.
    QTest::newRow("even sides") << Points {{0, 1}, {1, -1}} << QPointF(0.5, 0) << 0.2 << 0.0;
    QTest::newRow("radius 0") << groove(1.0) << QPointF(0, 3) << 0.0 << 3.0;
}

void tst_KindGeometry::settleCircleVertically()
{
    QFETCH(Points, points);
    QFETCH(QPointF, centre);
    QFETCH(double, radius);
    QFETCH(double, expected);
    const double y = ::settleCircleVertically(points.cbegin(), points.cend(), centre, radius);
    // Touching within the final step.
    COMPARE_TOL(y, expected, 0.0, std::max(radius, 1.0) * 1e-4);
}

void tst_KindGeometry::degenerateCirclesEndQuickly_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<QPointF>("start");
    QTest::addColumn<double>("radius");
    QTest::addColumn<bool>("finite");
    QTest::newRow("start not a number") << groove(1.0) << QPointF(kNaN, 0) << 1.0 << false;
    QTest::newRow("radius infinite")
        << groove(1.0) << QPointF(0, 0) << std::numeric_limits<double>::infinity() << false;
    // A point that is not a number makes every position uncleared and every cost NaN.
    QTest::newRow("point not a number")
        << Points {{0, 0}, {kNaN, 1}, {1, 0}} << QPointF(0.5, 2) << 1.0 << true;
    QTest::newRow("one point") << Points {{0, 0}} << QPointF(0, 3) << 1.0 << true;
    QTest::newRow("huge radius") << groove(1.0) << QPointF(0, 0) << 1e300 << true;
}

void tst_KindGeometry::degenerateCirclesEndQuickly()
{
    QFETCH(Points, points);
    QFETCH(QPointF, start);
    QFETCH(double, radius);
    QFETCH(bool, finite);
    QElapsedTimer timer;
    timer.start();
    QPointF c = ::searchCircleCentre(points.cbegin(), points.cend(), start, radius);
    c.setY(::settleCircleVertically(points.cbegin(), points.cend(), c, radius));
    QCOMPARE(std::isfinite(c.x()) && std::isfinite(c.y()), finite);
    // Bounded by the step caps: far below a second even on a loaded machine.
    QVERIFY2(timer.elapsed() < 5000, qPrintable(QString::number(timer.elapsed())));
}

void tst_KindGeometry::angleSector_data()
{
    QTest::addColumn<double>("first"); // direction of the first line, degrees
    QTest::addColumn<double>("second");
    QTest::addColumn<double>("cursor"); // direction of the cursor from the vertex
    QTest::addColumn<double>("angle");
    QTest::addColumn<double>("start");
    QTest::addColumn<double>("span");
    QTest::newRow("0 and 30, cursor at 15") << 0.0 << 30.0 << 15.0 << 30.0 << 0.0 << 30.0;
    QTest::newRow("0 and 30, cursor at 100") << 0.0 << 30.0 << 100.0 << 150.0 << 180.0 << -150.0;
    QTest::newRow("0 and 30, cursor at 200") << 0.0 << 30.0 << 200.0 << 30.0 << 180.0 << 30.0;
    // The horizontal kind: the stretch rising at 30° against (1, 0).
    QTest::newRow("30 to horizontal, 15") << 30.0 << 0.0 << 15.0 << 30.0 << 30.0 << -30.0;
    QTest::newRow("30 to horizontal, 100") << 30.0 << 0.0 << 100.0 << 150.0 << 30.0 << 150.0;
    QTest::newRow("30 to horizontal, 200") << 30.0 << 0.0 << 200.0 << 30.0 << 210.0 << -30.0;
    QTest::newRow("vertical kind, 60° line") << 60.0 << 90.0 << 75.0 << 30.0 << 60.0 << 30.0;
    QTest::newRow("right angle") << 90.0 << 0.0 << 45.0 << 90.0 << 90.0 << -90.0;
}

void tst_KindGeometry::angleSector()
{
    QFETCH(double, first);
    QFETCH(double, second);
    QFETCH(double, cursor);
    QFETCH(double, angle);
    QFETCH(double, start);
    QFETCH(double, span);
    const AngleSector s = ::angleSector(direction(first), direction(second), direction(cursor) * 3);
    COMPARE_TOL(s.angle, angle, 0.0, 1e-9);
    COMPARE_TOL(std::fmod(s.start + 360.0, 360.0), start, 0.0, 1e-9);
    COMPARE_TOL(s.span, span, 0.0, 1e-9);
    // The turned directions lie on the cursor's side.
    QVERIFY(QPointF::dotProduct(s.first, direction(cursor)) >= 0.0);
    QVERIFY(QPointF::dotProduct(s.second, direction(cursor)) >= 0.0);
}

void tst_KindGeometry::degreesMinutesSeconds_data()
{
    QTest::addColumn<double>("degrees");
    QTest::addColumn<QString>("text");
    QTest::newRow("45.5") << 45.5 << QStringLiteral("45° 30' 0''");
    QTest::newRow("30 from below") << 29.9999999 << QStringLiteral("30° 0' 0''");
    QTest::newRow("10.99999") << 10.99999 << QStringLiteral("11° 0' 0''");
    QTest::newRow("half a second up") << 12.5 + 0.6 / 3600 << QStringLiteral("12° 30' 1''");
    QTest::newRow("minutes and seconds") << 59.99 << QStringLiteral("59° 59' 24''");
    QTest::newRow("nearly 180") << 179.99999 << QStringLiteral("180° 0' 0''");
    QTest::newRow("0") << 0.0 << QStringLiteral("0° 0' 0''");
}

void tst_KindGeometry::degreesMinutesSeconds()
{
    QFETCH(double, degrees);
    QFETCH(QString, text);
    QCOMPARE(::degreesMinutesSeconds(degrees), text);
}

void tst_KindGeometry::nearestValue_data()
{
    QTest::addColumn<double>("x");
    QTest::addColumn<double>("nominal");
    QTest::newRow("0") << 0.0 << 0.0;
    QTest::newRow("0.4") << 0.4 << 45.0;
    QTest::newRow("22.5") << 22.5 << 45.0;
    QTest::newRow("67.9") << 67.9 << 45.0;
    QTest::newRow("68") << 68.0 << 90.0;
    QTest::newRow("112.5") << 112.5 << 90.0;
    QTest::newRow("157.5") << 157.5 << 135.0;
    QTest::newRow("179") << 179.0 << 180.0;
}

void tst_KindGeometry::nearestValue()
{
    QFETCH(double, x);
    QFETCH(double, nominal);
    QCOMPARE(::nearestValue(x, {45, 90, 135, 180}), nominal);
}

void tst_KindGeometry::unitConversion_data()
{
    QTest::addColumn<QString>("from");
    QTest::addColumn<int>("to");
    QTest::addColumn<double>("factor");
    QTest::newRow("mm to mm") << QStringLiteral("мм") << 0 << 1.0;
    QTest::newRow("um to mm") << QStringLiteral("мкм") << 0 << 0.001;
    QTest::newRow("nm to mm") << QStringLiteral("нм") << 0 << 1e-6;
    QTest::newRow("mm to um") << QStringLiteral("мм") << 1 << 1000.0;
    QTest::newRow("nm to um") << QStringLiteral("нм") << 1 << 0.001;
    QTest::newRow("mm to nm") << QStringLiteral("мм") << 2 << 1e6;
    QTest::newRow("um to nm") << QStringLiteral("мкм") << 2 << 1000.0;
    QTest::newRow("unknown unit") << QStringLiteral("мм") << 3 << 0.0;
    QTest::newRow("unknown suffix") << QStringLiteral("см") << 0 << 0.0;
}

void tst_KindGeometry::unitConversion()
{
    QFETCH(QString, from);
    QFETCH(int, to);
    QFETCH(double, factor);
    QCOMPARE(unitConversionFactor(from, to), factor);
}

QTEST_GUILESS_MAIN(tst_KindGeometry)
#include "tst_KindGeometry.moc"
