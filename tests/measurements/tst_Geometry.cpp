#include "measurements/Geometry.h"
#include "support/TestSupport.h"

#include <QVector3D>

#include <algorithm>
#include <cmath>

namespace {

// A plot point as the plot's curve data hold it.
struct Point
{
    double key;
    double value;
};

using Points = QVector<Point>;

Points linePoints(double x0, double y0, double dx, double dy, int n)
{
    Points points;
    for (int i = 0; i < n; ++i)
        points.append({x0 + i * dx, y0 + i * dy});
    return points;
}

Points arcPoints(double cx, double cy, double r, double fromDeg, double toDeg, int n,
                 double noise = 0.0)
{
    Points points;
    for (int i = 0; i < n; ++i) {
        const double a = (fromDeg + (toDeg - fromDeg) * i / (n - 1)) * M_PI / 180.0;
        // Deterministic noise of the given amplitude along the radius.
        const double rr = r + noise * std::sin(i * 12.9898 + 0.3) * std::cos(i * 4.1414);
        points.append({cx + rr * std::cos(a), cy + rr * std::sin(a)});
    }
    return points;
}

Points scaled(const Points &points, double factor)
{
    Points out;
    for (const Point &p : points)
        out.append({p.key * factor, p.value * factor});
    return out;
}

LineRecord fit(const Points &points)
{
    return fitLineThroughCentroids(points.cbegin(), points.cend());
}

// The angle between two lines, 0 to 90 degrees in radians.
double angleBetween(const LineRecord &a, const LineRecord &b)
{
    const double angle = std::abs(std::atan2(double(a.dx) * b.dy - double(a.dy) * b.dx,
                                             double(a.dx) * b.dx + double(a.dy) * b.dy));
    return std::min(angle, M_PI - angle);
}

} // namespace

Q_DECLARE_METATYPE(Points)
Q_DECLARE_METATYPE(LineRecord)
Q_DECLARE_METATYPE(QVector<QVector3D>)

class tst_Geometry : public QObject
{
    Q_OBJECT

private slots:
    void lineFit_data();
    void lineFit();
    void lineFitPoolsSecondRange();
    void lineFitIsUnitFree_data();
    void lineFitIsUnitFree();
    void intersectLines_data();
    void intersectLines();
    void rotatePoint_data();
    void rotatePoint();
    void lineResiduals_data();
    void lineResiduals();
    void composedRotations_data();
    void composedRotations();
    void circleFitExact_data();
    void circleFitExact();
    void circleFitNoisyArc();
    void circleFitRanges();
    void circleFitDegenerate_data();
    void circleFitDegenerate();
};

void tst_Geometry::lineFit_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<double>("x0");
    QTest::addColumn<double>("y0");
    QTest::addColumn<double>("dx");
    QTest::addColumn<double>("dy");
    const double nan = std::nan("");
    const double h = std::sqrt(0.5);
    QTest::newRow("empty") << Points {} << nan << nan << 0.0 << 1.0;
    QTest::newRow("one point") << Points {{2, 3}} << 2.0 << 3.0 << 0.0 << 1.0;
    QTest::newRow("coincident") << Points {{2, 3}, {2, 3}, {2, 3}} << 2.0 << 3.0 << 0.0 << 1.0;
    QTest::newRow("horizontal") << linePoints(0, 5, 0.5, 0, 5) << 1.0 << 5.0 << 1.0 << 0.0;
    QTest::newRow("vertical") << linePoints(-1, 0, 0, 2, 3) << -1.0 << 2.0 << 0.0 << 1.0;
    QTest::newRow("y = x") << linePoints(0, 0, 1, 1, 4) << 1.5 << 1.5 << h << h;
    // The direction always points to growing x, also for a falling line.
    QTest::newRow("falling") << linePoints(0, 4, 1, -2, 5) << 2.0 << 0.0 << 1 / std::sqrt(5.0)
                             << -2 / std::sqrt(5.0);
    QTest::newRow("nearly vertical, falling")
        << linePoints(0, 0, -1e-3, 1, 11) << -5e-3 << 5.0 << 1e-3 / std::hypot(1e-3, 1.0)
        << -1 / std::hypot(1e-3, 1.0);
    // A zigzag: the direction of largest spread from the closed form of the 2 x 2 eigenproblem
    // of its centred sums Sxx = 5, Sxy = 2.1, Syy = 1.01.
    const double lambda = 0.5 * (5 + 1.01) + std::hypot(0.5 * (5 - 1.01), 2.1);
    const double norm = std::hypot(lambda - 1.01, 2.1);
    QTest::newRow("scatter") << Points {{0, 0.2}, {1, 0.3}, {2, 1.2}, {3, 1.3}} << 1.5 << 0.75
                             << (lambda - 1.01) / norm << 2.1 / norm;
}

void tst_Geometry::lineFit()
{
    QFETCH(Points, points);
    QFETCH(double, x0);
    QFETCH(double, y0);
    QFETCH(double, dx);
    QFETCH(double, dy);
    const LineRecord line = fit(points);
    COMPARE_TOL(line.x0, x0, 1e-12, 1e-12);
    COMPARE_TOL(line.y0, y0, 1e-12, 1e-12);
    COMPARE_TOL(std::hypot(double(line.dx), double(line.dy)), 1.0, 1e-7, 0.0);
    COMPARE_TOL(line.dx, dx, 1e-7, 1e-7);
    COMPARE_TOL(line.dy, dy, 1e-7, 1e-7);
}

void tst_Geometry::lineFitPoolsSecondRange()
{
    const Points first = linePoints(0, 0, 1, 1, 3);
    const Points second = linePoints(10, 9, 1, 0, 3);
    const Points all = first + second;
    const LineRecord pooled
        = fitLineThroughCentroids(first.cbegin(), first.cend(), second.cbegin(), second.cend());
    const LineRecord whole = fit(all);
    QCOMPARE(pooled.x0, whole.x0);
    QCOMPARE(pooled.y0, whole.y0);
    QCOMPARE(pooled.dx, whole.dx);
    QCOMPARE(pooled.dy, whole.dy);
    // A second range that is empty or has a missing end adds nothing.
    const LineRecord single = fit(first);
    for (const LineRecord &r :
         {fitLineThroughCentroids(first.cbegin(), first.cend(), second.cbegin(), second.cbegin()),
          fitLineThroughCentroids(first.cbegin(), first.cend(), second.cbegin(), nullptr),
          fitLineThroughCentroids(first.cbegin(), first.cend(), nullptr, nullptr),
          fitLineThroughCentroids(first.cbegin(), first.cend())}) {
        QCOMPARE(r.x0, single.x0);
        QCOMPARE(r.dx, single.dx);
        QCOMPARE(r.dy, single.dy);
    }
}

void tst_Geometry::lineFitIsUnitFree_data()
{
    QTest::addColumn<double>("angleDeg");
    QTest::addColumn<double>("length");
    QTest::addColumn<int>("count");
    // Short steep selections: in millimetres their scatter sums are far below 1e-6, where an
    // absolute threshold would decide differently than in micrometres or nanometres.
    QTest::newRow("0.06 deg over 0.5 um") << 0.06 << 0.0005 << 11;
    QTest::newRow("0.06 deg over 2 um") << 0.06 << 0.002 << 21;
    QTest::newRow("0.5 deg over 10 um") << 0.5 << 0.01 << 21;
    QTest::newRow("30 deg over 1 mm") << 30.0 << 1.0 << 101;
}

void tst_Geometry::lineFitIsUnitFree()
{
    QFETCH(double, angleDeg);
    QFETCH(double, length);
    QFETCH(int, count);
    // Two nearly vertical lines (88 deg and 88 deg + angleDeg) that cross at (0.3, 0.2) mm.
    const auto steep = [&](double deg) {
        const double a = deg * M_PI / 180.0;
        const double step = length / (count - 1);
        return linePoints(0.3 - 0.5 * length * std::cos(a), 0.2 - 0.5 * length * std::sin(a),
                          step * std::cos(a), step * std::sin(a), count);
    };
    const Points first = steep(88.0);
    const Points second = steep(88.0 + angleDeg);
    for (const double factor : {1.0, 1e3, 1e6}) {
        const LineRecord a = fit(scaled(first, factor));
        const LineRecord b = fit(scaled(second, factor));
        COMPARE_TOL(std::hypot(double(a.dx), double(a.dy)), 1.0, 1e-7, 0.0);
        COMPARE_TOL(angleBetween(a, b) * 180.0 / M_PI, angleDeg, 1e-3, 0.0);
        const QPointF crossing = ::intersectLines(a, b);
        COMPARE_TOL(crossing.x() / factor, 0.3, 0.0, 1e-6 * length);
        COMPARE_TOL(crossing.y() / factor, 0.2, 0.0, 1e-4 * length);
    }
}

void tst_Geometry::intersectLines_data()
{
    QTest::addColumn<LineRecord>("a");
    QTest::addColumn<LineRecord>("b");
    QTest::addColumn<QPointF>("expected");
    const double nan = std::nan("");
    const float h = float(std::sqrt(0.5));
    QTest::newRow("axes through (2, 3)")
        << LineRecord {2, 0, 0, 1} << LineRecord {-5, 3, 1, 0} << QPointF(2, 3);
    QTest::newRow("diagonals") << LineRecord {0, 0, h, h} << LineRecord {0, 2, h, -h}
                               << QPointF(1, 1);
    QTest::newRow("unnormalised directions")
        << LineRecord {0, 0, 3, 3} << LineRecord {0, 2, 0.5f, -0.5f} << QPointF(1, 1);
    QTest::newRow("parallel") << LineRecord {0, 0, 1, 2} << LineRecord {5, 0, 1, 2}
                              << QPointF(nan, nan);
    QTest::newRow("identical") << LineRecord {0, 0, 1, 0} << LineRecord {0, 0, -1, 0}
                               << QPointF(nan, nan);
    QTest::newRow("zero direction")
        << LineRecord {0, 0, 0, 0} << LineRecord {1, 1, 0, 1} << QPointF(nan, nan);
    QTest::newRow("both zero") << LineRecord {0, 0, 0, 0} << LineRecord {1, 1, 0, 0}
                               << QPointF(nan, nan);
}

void tst_Geometry::intersectLines()
{
    QFETCH(LineRecord, a);
    QFETCH(LineRecord, b);
    QFETCH(QPointF, expected);
    const QPointF p = ::intersectLines(a, b);
    COMPARE_TOL(p.x(), expected.x(), 1e-7, 1e-7);
    COMPARE_TOL(p.y(), expected.y(), 1e-7, 1e-7);
}

void tst_Geometry::rotatePoint_data()
{
    QTest::addColumn<float>("cx");
    QTest::addColumn<float>("cy");
    QTest::addColumn<float>("angle");
    QTest::addColumn<QPointF>("p");
    QTest::addColumn<QPointF>("expected");
    QTest::newRow("zero angle keeps double digits")
        << 1.0f << 2.0f << 0.0f << QPointF(0.1234567890123, 9.87654321012345)
        << QPointF(0.1234567890123, 9.87654321012345);
    QTest::newRow("quarter turn") << 0.0f << 0.0f << float(M_PI / 2) << QPointF(1, 0)
                                  << QPointF(0, 1);
    QTest::newRow("half turn about (1, 1)")
        << 1.0f << 1.0f << float(M_PI) << QPointF(3, 1) << QPointF(-1, 1);
    QTest::newRow("levelling y = 0.1x about (0, 0)")
        << 0.0f << 0.0f << float(-std::atan(0.1)) << QPointF(10, 1)
        << QPointF(std::hypot(10.0, 1.0), 0);
    QTest::newRow("centre stays") << 3.5f << -2.25f << 0.7f << QPointF(3.5, -2.25)
                                  << QPointF(3.5, -2.25);
}

void tst_Geometry::rotatePoint()
{
    QFETCH(float, cx);
    QFETCH(float, cy);
    QFETCH(float, angle);
    QFETCH(QPointF, p);
    QFETCH(QPointF, expected);
    const QPointF r = ::rotatePoint(cx, cy, angle, p);
    if (angle == 0.0f) {
        QCOMPARE(r.x(), expected.x());
        QCOMPARE(r.y(), expected.y());
        return;
    }
    // The angle passes in single precision.
    COMPARE_TOL(r.x(), expected.x(), 1e-6, 1e-6);
    COMPARE_TOL(r.y(), expected.y(), 1e-6, 1e-6);
}

void tst_Geometry::lineResiduals_data()
{
    // Points turned by the angle about the origin, their residuals from their own line, and the
    // peak-to-valley the residuals must span.
    QTest::addColumn<Points>("points");
    QTest::addColumn<double>("angle"); // degrees
    QTest::addColumn<double>("peakToValley");
    Points step;
    for (int i = 0; i < 40; ++i)
        step.append({i * 0.1, i < 20 ? 0.0 : 0.05});
    for (const double angle : {0.0, 45.0, 90.0, -30.0}) {
        const QByteArray at = QByteArray::number(angle) + " deg";
        QTest::newRow("line, " + at) << linePoints(1, 2, 0.1, 0, 50) << angle << 0.0;
        QTest::newRow("line in um, " + at) << linePoints(1e3, 2e3, 100, 0, 50) << angle << 0.0;
        // Twenty points on each side of a step of 0.05: the line through the middle of the
        // step is tilted, so the peak-to-valley is a little below the step (about 0.0482),
        // whatever the slope of the whole.
        QTest::newRow("step, " + at) << step << angle << -1.0;
    }
}

void tst_Geometry::lineResiduals()
{
    QFETCH(Points, points);
    QFETCH(double, angle);
    QFETCH(double, peakToValley);
    const double a = angle * M_PI / 180.0;
    Points turned;
    for (const Point &p : qAsConst(points))
        turned.append({p.key * std::cos(a) - p.value * std::sin(a),
                       p.key * std::sin(a) + p.value * std::cos(a)});
    QVector<double> xs;
    QVector<double> residuals;
    ::lineResiduals(turned.cbegin(), turned.cend(), xs, residuals);
    QCOMPARE(xs.size(), turned.size());
    QCOMPARE(residuals.size(), turned.size());
    for (int i = 0; i < turned.size(); ++i)
        QCOMPARE(xs.at(i), turned.at(i).key);
    const auto range = std::minmax_element(residuals.cbegin(), residuals.cend());
    const double spread = *range.second - *range.first;
    if (peakToValley >= 0.0) {
        // On an exact line the residuals are rounding errors of the coordinates, far below what
        // six decimals show.
        COMPARE_TOL(spread, 0.0, 0.0, 1e-12 * points.last().key);
        return;
    }
    // The residuals are perpendicular distances, the same at every slope: those of the unturned
    // step from its total-least-squares line, whose angle is atan2(2·Sxy, Sxx − Syy) / 2.
    double mx = 0.0;
    double my = 0.0;
    for (const Point &p : qAsConst(points)) {
        mx += p.key / points.size();
        my += p.value / points.size();
    }
    double sxx = 0.0;
    double sxy = 0.0;
    double syy = 0.0;
    for (const Point &p : qAsConst(points)) {
        sxx += (p.key - mx) * (p.key - mx);
        sxy += (p.key - mx) * (p.value - my);
        syy += (p.value - my) * (p.value - my);
    }
    const double theta = 0.5 * std::atan2(2 * sxy, sxx - syy);
    double lo = 1e300;
    double hi = -1e300;
    for (const Point &p : qAsConst(points)) {
        const double r = (p.value - my) * std::cos(theta) - (p.key - mx) * std::sin(theta);
        lo = std::min(lo, r);
        hi = std::max(hi, r);
    }
    COMPARE_TOL(spread, hi - lo, 1e-9, 0.0);
    QVERIFY(spread > 0.048 && spread < 0.0483);
    // The residual is the signed distance: at 0 degrees the foot of the step lies below the
    // line and its top above it.
    if (angle == 0.0)
        QVERIFY(residuals.at(19) < 0.0 && residuals.at(20) > 0.0);
}

void tst_Geometry::composedRotations_data()
{
    // Successive turns (centre x, centre y, angle) as levelling applies them to the curves.
    QTest::addColumn<QVector<QVector3D>>("turns");
    QTest::newRow("none") << QVector<QVector3D> {};
    QTest::newRow("one") << QVector<QVector3D> {{2.0f, 1.0f, -0.0996687f}};
    QTest::newRow("two about different centres")
        << QVector<QVector3D> {{2.0f, 1.0f, -0.0996687f}, {-3.5f, 0.25f, 0.3f}};
    QTest::newRow("turn and back about different centres: a shift")
        << QVector<QVector3D> {{0.0f, 0.0f, 0.5f}, {4.0f, 1.0f, -0.5f}};
    QTest::newRow("a zero turn changes nothing")
        << QVector<QVector3D> {{2.0f, 1.0f, 0.2f}, {9.0f, 9.0f, 0.0f}};
    QTest::newRow("three, past a half turn")
        << QVector<QVector3D> {{1.0f, 1.0f, 1.5f}, {0.0f, 2.0f, 1.5f}, {5.0f, -1.0f, 1.0f}};
    QTest::newRow("in micrometres")
        << QVector<QVector3D> {{2000.0f, 1000.0f, -0.0996687f}, {-3500.0f, 250.0f, 0.3f}};
}

void tst_Geometry::composedRotations()
{
    QFETCH(QVector<QVector3D>, turns);
    RigidTransform motion;
    for (const QVector3D &t : qAsConst(turns))
        motion = motion.thenRotated(t.x(), t.y(), t.z());
    QCOMPARE(motion.isIdentity(), turns.isEmpty());
    QVERIFY(motion.angle > -M_PI && motion.angle <= M_PI);
    double scale = 1.0;
    for (const QVector3D &t : qAsConst(turns))
        scale = std::max({scale, std::abs(double(t.x())), std::abs(double(t.y()))});
    // One composed motion lands every point where the turns one after the other put it.
    for (const QPointF &p :
         {QPointF(0, 0), QPointF(2, 1), QPointF(-7.3, 4.1) * scale / 4, QPointF(1e-3, 123.456)}) {
        QPointF q = p;
        for (const QVector3D &t : qAsConst(turns))
            q = ::rotatePoint(t.x(), t.y(), t.z(), q);
        const QPointF m = motion.map(p);
        COMPARE_TOL(m.x(), q.x(), 0.0, 1e-12 * scale * 10);
        COMPARE_TOL(m.y(), q.y(), 0.0, 1e-12 * scale * 10);
    }
    if (turns.isEmpty()) {
        QCOMPARE(motion.map(QPointF(0.1234567890123, 9.87654321012345)),
                 QPointF(0.1234567890123, 9.87654321012345));
    }
}

void tst_Geometry::circleFitExact_data()
{
    QTest::addColumn<Points>("points");
    QTest::addColumn<double>("cx");
    QTest::addColumn<double>("cy");
    QTest::addColumn<double>("r");
    QTest::addColumn<double>("tolerance"); // relative to the radius
    QTest::newRow("three points") << Points {{5, 0}, {0, 5}, {-5, 0}} << 0.0 << 0.0 << 5.0 << 1e-12;
    QTest::newRow("full circle") << arcPoints(2, -1, 3, 0, 350, 36) << 2.0 << -1.0 << 3.0 << 1e-12;
    QTest::newRow("60 deg arc") << arcPoints(-4, 7, 0.25, 30, 90, 200) << -4.0 << 7.0 << 0.25
                                << 1e-9;
    QTest::newRow("5 deg arc far away, nm")
        << arcPoints(3e6, 2e6, 5e5, 260, 265, 500) << 3e6 << 2e6 << 5e5 << 1e-6;
    // A gently curved stretch (a sagitta of 0.15 um over 3.5 mm): a large but finite radius.
    QTest::newRow("flat arc") << arcPoints(0, -1e4, 1e4, 89.99, 90.01, 101) << 0.0 << -1e4 << 1e4
                              << 1e-4;
}

void tst_Geometry::circleFitExact()
{
    QFETCH(Points, points);
    QFETCH(double, cx);
    QFETCH(double, cy);
    QFETCH(double, r);
    QFETCH(double, tolerance);
    QPointF centre;
    double radius = 0.0;
    QVERIFY(fitCircle(points.cbegin(), points.cend(), centre, radius));
    const double tol = tolerance;
    COMPARE_TOL(radius, r, tol, 0.0);
    COMPARE_TOL(centre.x(), cx, 0.0, tol * r);
    COMPARE_TOL(centre.y(), cy, 0.0, tol * r);
}

void tst_Geometry::circleFitNoisyArc()
{
    // A 120 deg arc of radius 2 with radial noise of 1 um amplitude: the fitted circle stays
    // within the noise of the true one (the hyper fit has no small-radius bias to speak of).
    const Points points = arcPoints(1.0, 1.5, 2.0, 10, 130, 2001, 1e-3);
    QPointF centre;
    double radius = 0.0;
    QVERIFY(fitCircle(points.cbegin(), points.cend(), centre, radius));
    COMPARE_TOL(radius, 2.0, 0.0, 2e-4);
    COMPARE_TOL(centre.x(), 1.0, 0.0, 3e-4);
    COMPARE_TOL(centre.y(), 1.5, 0.0, 3e-4);
}

void tst_Geometry::circleFitRanges()
{
    // Two short arcs on opposite sides and a third one: any of them alone is poorly defined,
    // together they fix the circle.
    const Points a = arcPoints(0.5, 0.5, 1.5, 0, 10, 20);
    const Points b = arcPoints(0.5, 0.5, 1.5, 170, 185, 30);
    const Points c = arcPoints(0.5, 0.5, 1.5, 265, 270, 10);
    QPointF centre;
    double radius = 0.0;
    QVERIFY(fitCircle(a.cbegin(), a.cend(), b.cbegin(), b.cend(), centre, radius));
    COMPARE_TOL(radius, 1.5, 1e-9, 0.0);
    QPointF viaPointers;
    double radiusViaPointers = 0.0;
    QVERIFY(fitCircleToTwoRanges(a.cbegin(), a.cend(), b.cbegin(), b.cend(), &viaPointers,
                                 &radiusViaPointers));
    QCOMPARE(viaPointers, centre);
    QCOMPARE(radiusViaPointers, radius);

    QVERIFY(fitCircle(QVector<const Point *> {a.cbegin(), b.cbegin(), c.cbegin()},
                      QVector<const Point *> {a.cend(), b.cend(), c.cend()}, centre, radius));
    COMPARE_TOL(radius, 1.5, 1e-9, 0.0);
    COMPARE_TOL(centre.x(), 0.5, 0.0, 1e-9);
    COMPARE_TOL(centre.y(), 0.5, 0.0, 1e-9);
}

void tst_Geometry::circleFitDegenerate_data()
{
    QTest::addColumn<Points>("points");
    const double nan = std::nan("");
    QTest::newRow("no points") << Points {};
    QTest::newRow("one point") << Points {{1, 2}};
    QTest::newRow("two points") << Points {{0.1, 0.2}, {0.7, 0.3}};
    QTest::newRow("two distinct of three") << Points {{0.1, 0.2}, {0.7, 0.3}, {0.1, 0.2}};
    QTest::newRow("horizontal") << linePoints(0, 1, 0.1, 0, 50);
    QTest::newRow("vertical") << linePoints(1, 0, 0, 0.1, 50);
    QTest::newRow("oblique, mm") << linePoints(0.1, 0.3, 0.013, 0.007, 50);
    QTest::newRow("oblique, nm") << linePoints(1e5, 3e5, 1.3e4, 7e3, 50);
    QTest::newRow("not a number") << Points {{0, 0}, {1, nan}, {0, 1}};
}

void tst_Geometry::circleFitDegenerate()
{
    QFETCH(Points, points);
    QPointF centre(1, 1);
    double radius = 1.0;
    QVERIFY(!fitCircle(points.cbegin(), points.cend(), centre, radius));
    QVERIFY(std::isnan(radius));
    QVERIFY(std::isnan(centre.x()) && std::isnan(centre.y()));

    // No ranges at all.
    QVERIFY(!fitCircle(QVector<const Point *> {}, QVector<const Point *> {}, centre, radius));
    QVERIFY(std::isnan(radius));
}

QTEST_APPLESS_MAIN(tst_Geometry)
#include "tst_Geometry.moc"
