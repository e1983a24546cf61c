#pragma once

#include <QPointF>
#include <QVector>

#include <cmath>
#include <limits>
#include <type_traits>

// Plane geometry on contour points: the orthogonal line fit, the crossing of two fitted lines,
// the rotation of a point about a centre and the algebraic circle fit.
//
// A point range is a pair of iterators [begin, end) over points of one curve, walked in order.
// A point is anything with `key` (x) and `value` (y) members, as the plot's curve data have, or
// a QPointF. All arithmetic is in double precision; the direction of a line record and the
// centre and angle of a rotation are single precision, as the callers store them.

namespace geometry_detail {

template<typename P>
auto pointX(const P &p) -> decltype(double(p.key))
{
    return p.key;
}
template<typename P>
auto pointY(const P &p) -> decltype(double(p.value))
{
    return p.value;
}
inline double pointX(const QPointF &p)
{
    return p.x();
}
inline double pointY(const QPointF &p)
{
    return p.y();
}

// Centred second moments of a point set (plain sums over the points, not divided by n).
struct LineSums
{
    double n = 0.0;
    double mx = 0.0;
    double my = 0.0;
    double sxx = 0.0;
    double sxy = 0.0;
    double syy = 0.0;
};

// Centred moments of the circle fit, each divided by n.
struct CircleMoments
{
    double n = 0.0;
    double mx = 0.0;
    double my = 0.0;
    double mxx = 0.0;
    double myy = 0.0;
    double mxy = 0.0;
    double mxz = 0.0;
    double myz = 0.0;
    double mzz = 0.0;
};

template<typename It>
void addSums(It begin, It end, double &n, double &sx, double &sy)
{
    for (It it = begin; it != end; ++it) {
        n += 1.0;
        sx += pointX(*it);
        sy += pointY(*it);
    }
}

template<typename It>
void addLineMoments(It begin, It end, LineSums &s)
{
    for (It it = begin; it != end; ++it) {
        const double dx = pointX(*it) - s.mx;
        const double dy = pointY(*it) - s.my;
        s.sxx += dx * dx;
        s.sxy += dx * dy;
        s.syy += dy * dy;
    }
}

template<typename It>
void addCircleMoments(It begin, It end, CircleMoments &m)
{
    for (It it = begin; it != end; ++it) {
        const double x = pointX(*it) - m.mx;
        const double y = pointY(*it) - m.my;
        const double z = x * x + y * y;
        m.mxx += x * x;
        m.myy += y * y;
        m.mxy += x * y;
        m.mxz += x * z;
        m.myz += y * z;
        m.mzz += z * z;
    }
}

// A second range takes part only when both its ends are set (a default-constructed iterator,
// null for pointers, means none) and it is not empty.
template<typename It>
bool hasSecondRange(It begin2, It end2)
{
    return !(begin2 == It()) && !(end2 == It()) && !(begin2 == end2);
}

} // namespace geometry_detail

// A straight line given by one of its points and its direction.
struct LineRecord
{
    double x0 = 0.0;
    double y0 = 0.0;
    float dx = 0.0f;
    float dy = 0.0f;
};

// The unit direction of the total-least-squares line of the given centred sums, in double
// precision: the direction of the largest spread, its x component never negative. An isotropic
// or empty set has no preferred direction and gets (1, 0) when it spreads more along x than
// along y, (0, 1) otherwise.
QPointF lineDirection(const geometry_detail::LineSums &sums);

// The line record of the given centred sums: the centroid and the unit direction of the largest
// spread (the total-least-squares line). An isotropic or empty set has no preferred direction
// and gets (1, 0) when it spreads more along x than along y, (0, 1) otherwise.
LineRecord lineFromSums(const geometry_detail::LineSums &sums);

// The total-least-squares line of the points of [begin1, end1), pooled with [begin2, end2) when
// that second range is given. The record holds the centroid (NaN for no points) and a unit
// direction whose x component is never negative.
// The second range's iterators are not deduced, so that null may stand for none.
template<typename It>
LineRecord fitLineThroughCentroids(It begin1, It end1, typename std::decay<It>::type begin2 = It(),
                                   typename std::decay<It>::type end2 = It())
{
    using namespace geometry_detail;
    const bool second = hasSecondRange(begin2, end2);
    LineSums sums;
    double sx = 0.0;
    double sy = 0.0;
    addSums(begin1, end1, sums.n, sx, sy);
    if (second)
        addSums(begin2, end2, sums.n, sx, sy);
    sums.mx = sx / sums.n;
    sums.my = sy / sums.n;
    addLineMoments(begin1, end1, sums);
    if (second)
        addLineMoments(begin2, end2, sums);
    return lineFromSums(sums);
}

// The deviations of the points of [begin, end) from their total-least-squares line: for every
// point in order, its x goes to xs and its signed perpendicular distance from the line to
// residuals, positive to the left of the line's direction (above a line that does not fall
// steeply). The direction is taken in double precision, so that points on an exact line give
// residuals at the rounding level of their coordinates. No points: both stay empty.
template<typename It>
void lineResiduals(It begin, It end, QVector<double> &xs, QVector<double> &residuals)
{
    using namespace geometry_detail;
    xs.clear();
    residuals.clear();
    LineSums sums;
    double sx = 0.0;
    double sy = 0.0;
    addSums(begin, end, sums.n, sx, sy);
    if (!(sums.n > 0.0))
        return;
    sums.mx = sx / sums.n;
    sums.my = sy / sums.n;
    addLineMoments(begin, end, sums);
    const QPointF d = lineDirection(sums);
    xs.reserve(int(sums.n));
    residuals.reserve(int(sums.n));
    for (It it = begin; it != end; ++it) {
        const double x = pointX(*it);
        xs.append(x);
        residuals.append((pointY(*it) - sums.my) * d.x() - (x - sums.mx) * d.y());
    }
}

// The crossing point of two lines; (NaN, NaN) when they are parallel or a direction is zero.
QPointF intersectLines(const LineRecord &a, const LineRecord &b);

// p turned by angle (radians; a positive angle turns +x towards +y) about (cx, cy). An angle of
// exactly 0 returns p unchanged.
QPointF rotatePoint(float cx, float cy, float angle, const QPointF &p);

// A turn of the plane followed by a shift, p -> R(angle)·p + shift: the motion that successive
// levellings of a contour compose into. The default is the identity.
struct RigidTransform
{
    double angle = 0.0; // radians, in (-pi, pi]; a positive angle turns +x towards +y
    QPointF shift;

    bool isIdentity() const { return angle == 0.0 && shift.isNull(); }
    // The image of p; the identity returns p unchanged.
    QPointF map(const QPointF &p) const;
    // This motion followed by the turn that rotatePoint(cx, cy, turn, ·) makes. A turn of
    // exactly 0 changes nothing, as it leaves every point in place.
    RigidTransform thenRotated(float cx, float cy, float turn) const;
    // The motion that takes every image back to its point.
    RigidTransform inverted() const;
};

// A change of the plot plane that all the geometry of a contour window follows, p -> motion(scale
// · p): a change of the display unit scales the plane about the origin, a levelling turns it
// about a point, the levelling's reset moves it back. The default is the identity.
struct PlotTransform
{
    double scale = 1.0;
    RigidTransform motion;

    // A change of the display unit by factor.
    static PlotTransform scaling(double factor);
    // The turn rotatePoint(cx, cy, angle, ·) makes, point for point.
    static PlotTransform turn(float cx, float cy, float angle);
    // A rigid motion.
    static PlotTransform moving(const RigidTransform &motion);

    bool isIdentity() const { return scale == 1.0 && motion.isIdentity() && !isTurn; }
    QPointF map(const QPointF &p) const;

private:
    bool isTurn = false;
    float turnX = 0.0f;
    float turnY = 0.0f;
    float turnAngle = 0.0f;
};

// Solves the circle fit for the given moments. Returns false, with a NaN centre and radius, when
// the points do not determine a circle (none, fewer than three distinct, collinear, not finite).
bool circleFromMoments(const geometry_detail::CircleMoments &moments, QPointF &centre,
                       double &radius);

// The circle that fits the points of all ranges pooled: the "hyper" algebraic fit of
// Al-Sharadqah and Chernov, its characteristic polynomial solved by Newton's method from 0. It
// is free of the small-radius bias of the Kasa and Pratt fits. Returns false and sets a NaN
// centre and radius when the points determine no circle (see circleFromMoments); callers then
// show the value as unknown.
template<typename It>
bool fitCircle(const QVector<It> &begins, const QVector<It> &ends, QPointF &centre, double &radius)
{
    using namespace geometry_detail;
    CircleMoments m;
    const int count = std::min(begins.size(), ends.size());
    double sx = 0.0;
    double sy = 0.0;
    for (int i = 0; i < count; ++i)
        addSums(begins[i], ends[i], m.n, sx, sy);
    m.mx = sx / m.n;
    m.my = sy / m.n;
    for (int i = 0; i < count; ++i)
        addCircleMoments(begins[i], ends[i], m);
    return circleFromMoments(m, centre, radius);
}

template<typename It>
bool fitCircle(It begin, It end, QPointF &centre, double &radius)
{
    return fitCircle(QVector<It> {begin}, QVector<It> {end}, centre, radius);
}

template<typename It>
bool fitCircle(It begin1, It end1, It begin2, It end2, QPointF &centre, double &radius)
{
    return fitCircle(QVector<It> {begin1, begin2}, QVector<It> {end1, end2}, centre, radius);
}

// The same fits with the centre and radius written through pointers, as the radius kinds call
// them.
template<typename It>
bool fitCircle(It begin, It end, QPointF *centre, double *radius)
{
    return fitCircle(begin, end, *centre, *radius);
}

template<typename It>
bool fitCircleToTwoRanges(It begin1, It end1, It begin2, It end2, QPointF *centre, double *radius)
{
    return fitCircle(begin1, end1, begin2, end2, *centre, *radius);
}
