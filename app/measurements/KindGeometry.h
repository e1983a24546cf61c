#pragma once

#include "core/DisplayUnits.h"
#include "measurements/Geometry.h"
#include "processing/Fitting.h"

#include <QPointF>
#include <QString>
#include <QVector>

#include <cmath>
#include <limits>

// The calculations behind the distance, radius, angle and extreme-point measurements, free of
// the plot: they take ranges of curve points (anything with `key` and `value`, or QPointF) and
// plain plot coordinates, and return numbers. A result that cannot be computed is NaN (or -1
// for an index); the measurements show it as unknown.

namespace kind_detail {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

inline bool finitePoint(const QPointF &p)
{
    return std::isfinite(p.x()) && std::isfinite(p.y());
}

} // namespace kind_detail

// ---- Extreme points and distances ------------------------------------------------------------

// Index (from 0 at begin) of the largest (maximum true) or smallest value of the range, the
// first of equal values; -1 for an empty range. Values that are not numbers are passed over.
template<typename It>
int extremeIndex(It begin, It end, bool maximum)
{
    using namespace geometry_detail;
    int best = -1;
    double bestValue = 0.0;
    int index = 0;
    for (It it = begin; it != end; ++it, ++index) {
        const double v = pointY(*it);
        if (std::isnan(v))
            continue;
        if (best < 0 || (maximum ? v > bestValue : v < bestValue)) {
            best = index;
            bestValue = v;
        }
    }
    return best;
}

// The least-squares line y = c0 + c1·x of the range, read at x; NaN when the range fixes no
// such line (no points, one x value only, a vertical flank, values that are not numbers).
template<typename It>
double leastSquaresValueAt(It begin, It end, double x)
{
    if (begin == end || !std::isfinite(x))
        return kind_detail::kNaN;
    const Algos::RMS line(begin, end);
    const double y = line.value(x);
    return std::isfinite(y) ? y : kind_detail::kNaN;
}

// The dimension line of a direct distance from p1 to p2 drawn through the cursor m: offset is
// what moves both ends onto the dimension line (perpendicular to p1→p2, zero when p1 = p2), and
// below tells that the cursor lies on the right of p1→p2 (the label then hangs under the line).
struct DirectDimension
{
    QPointF offset;
    bool below = false;
};
DirectDimension directDimension(const QPointF &p1, const QPointF &p2, const QPointF &m);

// ---- Circles ---------------------------------------------------------------------------------

// The cost of a circle of radius r about c against the points: Σ |r − |p − c||.
template<typename It>
double inscribedCircleCost(It begin, It end, const QPointF &c, double r)
{
    using namespace geometry_detail;
    double sum = 0.0;
    for (It it = begin; it != end; ++it)
        sum += std::abs(r - std::hypot(pointX(*it) - c.x(), pointY(*it) - c.y()));
    return sum;
}

// Largest number of steps of the centre search and of the vertical settling. Each step walks
// the points a few times; far more steps than a real search takes.
constexpr int kCircleSearchSteps = 4000;

// The centre of the circle of radius r that best fits the points, found by a compass search
// from start: the step starts at r/10 and is halved whenever none of the four moves (right,
// left, up, down) lowers the cost, until it is no more than r·1e-5. Costs that agree to within
// rounding count as equal, and of equal moves the first in that order is taken, so mirror-image
// data give the same side in every display unit. Returns start for r ≤ 0 and NaN for a
// non-finite start or radius.
template<typename It>
QPointF searchCircleCentre(It begin, It end, const QPointF &start, double r)
{
    if (!kind_detail::finitePoint(start) || !std::isfinite(r))
        return QPointF(kind_detail::kNaN, kind_detail::kNaN);
    if (!(r > 0.0))
        return start;
    // Relative margin under which two costs count as equal: well above the rounding of a sum of
    // many terms, well below any real difference.
    constexpr double kTie = 1e-9;
    QPointF c = start;
    double cost = inscribedCircleCost(begin, end, c, r);
    double s = 0.1 * r;
    const double stop = r * 1e-5;
    for (int step = 0; step < kCircleSearchSteps && s > stop && std::isfinite(cost); ++step) {
        const QPointF moves[4] = {QPointF(s, 0), QPointF(-s, 0), QPointF(0, s), QPointF(0, -s)};
        double costs[4];
        double best = cost;
        for (int i = 0; i < 4; ++i) {
            costs[i] = inscribedCircleCost(begin, end, c + moves[i], r);
            if (costs[i] < best)
                best = costs[i];
        }
        const double margin = kTie * std::max(std::abs(cost), std::abs(best));
        if (!(best < cost - margin)) {
            s /= 2.0;
            continue;
        }
        for (int i = 0; i < 4; ++i) {
            if (costs[i] <= best + margin) {
                c += moves[i];
                cost = costs[i];
                break;
            }
        }
    }
    return c;
}

// The height to which a circle of radius r about (centre.x, y) settles onto the points: it moves
// down onto them when most points lie below centre.y, up against them when most lie above, and
// stays when the sides are even, until it is within r·1e-5 of touching. A position is clear
// when every point lies farther than r from the centre. Returns centre.y for r ≤ 0 and NaN for a
// non-finite centre or radius.
template<typename It>
double settleCircleVertically(It begin, It end, const QPointF &centre, double r)
{
    using namespace geometry_detail;
    if (!kind_detail::finitePoint(centre) || !std::isfinite(r))
        return kind_detail::kNaN;
    if (!(r > 0.0))
        return centre.y();
    int above = 0;
    int below = 0;
    for (It it = begin; it != end; ++it)
        (pointY(*it) > centre.y() ? above : below) += 1;
    if (above == below)
        return centre.y();
    const double x = centre.x();
    const auto clear = [&](double y) {
        for (It it = begin; it != end; ++it) {
            if (!(std::hypot(pointX(*it) - x, pointY(*it) - y) > r))
                return false;
        }
        return true;
    };
    double y = centre.y();
    double s = r / 10.0;
    const double stop = r * 1e-5;
    for (int step = 0; step < kCircleSearchSteps && s > stop; ++step) {
        if (below > above) {
            if (clear(y - s))
                y -= s;
            else if (!clear(y))
                y += s;
            else
                s /= 2.0;
        } else {
            if (clear(y + s))
                y += s;
            else if (clear(y))
                s /= 2.0;
            else
                y -= s;
        }
    }
    return y;
}

// ---- Angles ----------------------------------------------------------------------------------

// The angle between two lines through a vertex as the cursor chooses it: each direction is
// turned into the half-plane of the cursor, and the angle is that between the turned directions.
struct AngleSector
{
    QPointF first; // the turned directions
    QPointF second;
    double angle = 0.0; // degrees, 0 to 180
    // Degrees counter-clockwise from +x (y up): the direction of first, and the signed turn from
    // first to second the short way.
    double start = 0.0;
    double span = 0.0;
};

// d1 and d2 are the directions of the lines (any length but zero), towardsCursor the vector
// from the vertex to the cursor (zero or not finite: no direction is turned).
AngleSector angleSector(const QPointF &d1, const QPointF &d2, const QPointF &towardsCursor);

// The angle in degrees, minutes and seconds, rounded to the nearest second: "30° 0' 0''".
QString degreesMinutesSeconds(double degrees);

// The entry of the list nearest to x, compared in whole degrees truncated towards zero; x
// truncated when no entry is strictly nearer than the first entry's whole value.
double nearestValue(double x, const QVector<double> &list);
