#include "measurements/Deviations.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <set>

namespace {

// The median of a sliding window as two sorted halves: `low` holds the m / 2 smallest values
// (rounded down), `high` the rest, so the wanted element is the smallest of `high`.
class SlidingMedian
{
public:
    void insert(double v)
    {
        if (!high.empty() && v < *high.begin())
            low.insert(v);
        else
            high.insert(v);
        balance();
    }

    void erase(double v)
    {
        auto it = high.find(v);
        if (it != high.end()) {
            high.erase(it);
        } else {
            it = low.find(v);
            if (it != low.end())
                low.erase(it);
        }
        balance();
    }

    double median() const { return *high.begin(); }

private:
    void balance()
    {
        const std::size_t m = low.size() + high.size();
        while (low.size() > m / 2) {
            auto last = std::prev(low.end());
            high.insert(*last);
            low.erase(last);
        }
        while (low.size() < m / 2) {
            low.insert(*high.begin());
            high.erase(high.begin());
        }
    }

    std::multiset<double> low;
    std::multiset<double> high;
};

// A NaN cannot be ordered; the window holds it as infinity, so a median it reaches is not finite.
double orderable(double v)
{
    return std::isnan(v) ? std::numeric_limits<double>::infinity() : v;
}

bool allOutside(const QVector<QPointF> &points, double cx, double cy, double radius)
{
    const double r2 = radius * radius;
    for (const QPointF &p : points) {
        const double dx = p.x() - cx;
        const double dy = p.y() - cy;
        if (!(dx * dx + dy * dy > r2))
            return false;
    }
    return true;
}

} // namespace

QVector<double> mapIntoBand(const QVector<double> &deviations, double base, double height)
{
    QVector<double> mapped;
    mapped.reserve(deviations.size());
    double lo = 0.0;
    double hi = 0.0;
    const bool range = valueRange(deviations, &lo, &hi);
    const double span = hi - lo;
    for (const double d : deviations) {
        if (range && span > 0.0)
            mapped.append((d - lo) / span * height + base);
        else
            mapped.append(std::isfinite(d) ? base + 0.5 * height : d);
    }
    return mapped;
}

bool valueRange(const QVector<double> &values, double *lowest, double *highest)
{
    if (values.isEmpty())
        return false;
    double lo = values.first();
    double hi = lo;
    for (const double v : values) {
        if (!std::isfinite(v))
            return false;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    *lowest = lo;
    *highest = hi;
    return true;
}

QVector<double> movingMedian(const QVector<double> &xs, const QVector<double> &values, double width)
{
    QVector<double> out;
    if (xs.isEmpty() || values.isEmpty() || xs.size() != values.size())
        return out;
    const int n = xs.size();
    out.reserve(n);
    SlidingMedian window;
    int lo = 0;
    for (int i = 0; i < n; ++i) {
        window.insert(orderable(values.at(i)));
        while (lo < i && std::abs(xs.at(i) - xs.at(lo)) > width) {
            window.erase(orderable(values.at(lo)));
            ++lo;
        }
        out.append(window.median());
    }
    return out;
}

double radialMisfit(const QVector<QPointF> &points, const QPointF &centre, double radius)
{
    double sum = 0.0;
    for (const QPointF &p : points)
        sum += std::abs(radius - std::hypot(p.x() - centre.x(), p.y() - centre.y()));
    return sum;
}

QPointF refineCentre(const QVector<QPointF> &points, const QPointF &start, double radius)
{
    if (!(radius > 0.0) || !std::isfinite(radius) || !std::isfinite(start.x())
        || !std::isfinite(start.y()))
        return start;
    QPointF c = start;
    double current = radialMisfit(points, c, radius);
    if (!std::isfinite(current))
        return start;
    double step = radius / 10.0;
    const double smallest = radius * 1e-5;
    int moves = 0;
    while (step > smallest && moves < kMaxCompassMoves) {
        const QPointF neighbours[4] = {QPointF(c.x() + step, c.y()), QPointF(c.x() - step, c.y()),
                                       QPointF(c.x(), c.y() + step), QPointF(c.x(), c.y() - step)};
        // Only a strict improvement moves: on a flat stretch of the misfit (symmetric points) a
        // move to an equal value could go back and forth for ever. Values closer than rounding
        // count as equal, and of equal neighbours the first in the order above is taken, so
        // that mirrored minima are chosen alike in every unit.
        const double tolerance = current * 1e-12;
        int best = -1;
        double bestValue = current;
        for (int k = 0; k < 4; ++k) {
            const double v = radialMisfit(points, neighbours[k], radius);
            if (v < bestValue - tolerance) {
                bestValue = v;
                best = k;
            }
        }
        if (best < 0) {
            step *= 0.5;
            continue;
        }
        c = neighbours[best];
        current = bestValue;
        ++moves;
    }
    return c;
}

bool settleCentre(const QVector<QPointF> &points, QPointF &centre, double radius)
{
    if (!(radius > 0.0) || !std::isfinite(radius))
        return true;
    if (!std::isfinite(centre.x()) || !std::isfinite(centre.y()))
        return false;
    const QPointF start = centre;
    int above = 0;
    double lowestY = std::numeric_limits<double>::infinity();
    double highestY = -lowestY;
    for (const QPointF &p : points) {
        if (p.y() > centre.y())
            ++above;
        lowestY = std::min(lowestY, p.y());
        highestY = std::max(highestY, p.y());
    }
    const int below = points.size() - above;
    const double cx = centre.x();
    double cy = centre.y();
    double step = radius / 10.0;
    const double smallest = radius * 1e-5;
    int steps = 0;
    while (step > smallest) {
        if (++steps > kMaxSettleSteps) {
            centre = start;
            return false;
        }
        if (above == below) {
            step *= 0.5;
            continue;
        }
        const bool here = allOutside(points, cx, cy, radius);
        if (above < below) {
            // The centre is above most points: lower the circle onto them.
            if (allOutside(points, cx, cy - step, radius)) {
                cy -= step;
                // Wholly below every point: it passed between them and will never rest.
                if (cy + radius < lowestY) {
                    centre = start;
                    return false;
                }
            } else if (!here) {
                cy += step;
            } else {
                step *= 0.5;
            }
        } else {
            if (allOutside(points, cx, cy + step, radius)) {
                cy += step;
                if (cy - radius > highestY) {
                    centre = start;
                    return false;
                }
            } else if (here) {
                step *= 0.5;
            } else {
                cy -= step;
            }
        }
    }
    centre = QPointF(cx, cy);
    return true;
}

QVector<QPointF> polarGraphPoints(const QVector<QPointF> &points, const QVector<double> &deviations,
                                  const QPointF &centre, double radius, double height)
{
    QVector<QPointF> out;
    double lo = 0.0;
    double hi = 0.0;
    const bool range = valueRange(deviations, &lo, &hi);
    const int n = std::min(points.size(), deviations.size());
    out.reserve(n);
    for (int i = 0; i < n; ++i) {
        const QPointF &p = points.at(i);
        const double theta = std::atan2(p.y() - centre.y(), p.x() - centre.x());
        const double v = range && lo < hi ? (deviations.at(i) - lo) / (hi - lo) : 0.0;
        const double rho = radius + height * (1.0 - v);
        out.append(QPointF(centre.x() + rho * std::cos(theta), centre.y() + rho * std::sin(theta)));
    }
    return out;
}
