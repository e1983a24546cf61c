#include "measurements/KindGeometry.h"

#include <QLineF>

#include <cmath>

namespace {

double length(const QPointF &v)
{
    return std::hypot(v.x(), v.y());
}

} // namespace

DirectDimension directDimension(const QPointF &p1, const QPointF &p2, const QPointF &m)
{
    DirectDimension result;
    const QPointF along = p2 - p1;
    const double l = length(along);
    if (!(l > 0.0) || !std::isfinite(l))
        return result;
    // Unit normal, to the left of p1→p2.
    const QPointF n(-along.y() / l, along.x() / l);
    const QPointF rel = m - p1;
    const double d = n.x() * rel.x() + n.y() * rel.y();
    if (!std::isfinite(d))
        return result;
    result.offset = n * d;
    result.below = d < 0.0;
    return result;
}

AngleSector angleSector(const QPointF &d1, const QPointF &d2, const QPointF &towardsCursor)
{
    AngleSector s;
    s.first = d1;
    s.second = d2;
    const double u = length(towardsCursor);
    if (u > 0.0 && std::isfinite(u)) {
        const QPointF unit = towardsCursor / u;
        if (QPointF::dotProduct(s.first, unit) < 0.0)
            s.first = -s.first;
        if (QPointF::dotProduct(s.second, unit) < 0.0)
            s.second = -s.second;
    }
    // QLineF measures angles counter-clockwise with y pointing down; the directions are in plot
    // coordinates (y up), so the signs below turn its angles into counter-clockwise ones.
    const QLineF l1(QPointF(), s.first);
    const QLineF l2(QPointF(), s.second);
    const QLineF axis(0.0, 0.0, 1.0, 0.0);
    double o = l1.angleTo(l2);
    if (o > 180.0)
        o = -l2.angleTo(l1);
    s.angle = std::abs(o);
    s.start = l1.angleTo(axis);
    s.span = -o;
    return s;
}

QString degreesMinutesSeconds(double degrees)
{
    if (!std::isfinite(degrees))
        return QString();
    const bool negative = degrees < 0.0;
    const long long total = std::llround(std::abs(degrees) * 3600.0);
    const long long d = total / 3600;
    const long long m = (total % 3600) / 60;
    const long long s = total % 60;
    return QStringLiteral("%1%2° %3' %4''")
        .arg(negative && total > 0 ? QStringLiteral("-") : QString())
        .arg(d)
        .arg(m)
        .arg(s);
}

double nearestValue(double x, const QVector<double> &list)
{
    if (list.isEmpty() || !std::isfinite(x))
        return std::trunc(x);
    double result = std::trunc(x);
    double best = std::trunc(list.first());
    for (double e : list) {
        const double diff = std::abs(e - x);
        if (best > diff) {
            best = std::trunc(diff);
            result = std::trunc(e);
        }
    }
    return result;
}
