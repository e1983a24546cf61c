#include "measurements/DxfDrawing.h"

#include <QLineF>

#include <algorithm>
#include <cmath>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

double toRadians(double degrees)
{
    return degrees * kPi / 180.0;
}

// An angle brought into [0, period).
double wrap(double angle, double period)
{
    double r = std::fmod(angle, period);
    if (r < 0.0)
        r += period;
    if (r >= period)
        r = 0.0;
    return r;
}

double length(const QPointF &v)
{
    return std::hypot(v.x(), v.y());
}

// Whether p lies at least `distance` away from a rectangle.
bool atLeastFrom(const QPointF &p, const QRectF &r, double distance)
{
    const double dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const double dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    return dx >= distance || dy >= distance || dx * dx + dy * dy >= distance * distance;
}

QRectF boundsOf(const QPointF *points, int count)
{
    double x0 = points[0].x(), x1 = x0, y0 = points[0].y(), y1 = y0;
    for (int i = 1; i < count; ++i) {
        x0 = std::min(x0, points[i].x());
        x1 = std::max(x1, points[i].x());
        y0 = std::min(y0, points[i].y());
        y1 = std::max(y1, points[i].y());
    }
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

QPointF rotated(const QPointF &p, const QPointF &pivot, double c, double s)
{
    const double dx = p.x() - pivot.x();
    const double dy = p.y() - pivot.y();
    return QPointF(pivot.x() + dx * c - dy * s, pivot.y() + dx * s + dy * c);
}

// cos and sin of an angle in degrees, exact at the multiples of 90 so that quarter and half
// turns leave coordinates without rounding noise.
void cosSin(double degrees, double *c, double *s)
{
    const double quarter = degrees / 90.0;
    if (quarter == std::round(quarter) && std::abs(quarter) < 1e9) {
        const long long q = ((static_cast<long long>(quarter) % 4) + 4) % 4;
        static const double kCos[] = {1.0, 0.0, -1.0, 0.0};
        static const double kSin[] = {0.0, 1.0, 0.0, -1.0};
        *c = kCos[q];
        *s = kSin[q];
        return;
    }
    *c = std::cos(toRadians(degrees));
    *s = std::sin(toRadians(degrees));
}

} // namespace

double dxfUnitFactor(int axisUnit)
{
    switch (axisUnit) {
    case 1:
        return 1000.0;
    case 2:
        return 1e6;
    default:
        return 1.0;
    }
}

double distanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const double vx = b.x() - a.x();
    const double vy = b.y() - a.y();
    const double len2 = vx * vx + vy * vy;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((p.x() - a.x()) * vx + (p.y() - a.y()) * vy) / len2, 0.0, 1.0);
    return std::hypot(p.x() - (a.x() + t * vx), p.y() - (a.y() + t * vy));
}

double distanceToArc(const QPointF &p, const QPointF &centre, double radius, double startDeg,
                     double spanDeg)
{
    const double dx = p.x() - centre.x();
    const double dy = p.y() - centre.y();
    const double toCircle = std::abs(std::hypot(dx, dy) - radius);
    if (spanDeg >= 360.0)
        return toCircle;
    const double start = toRadians(startDeg);
    const double span = toRadians(spanDeg);
    if (wrap(std::atan2(dy, dx) - start, kTwoPi) <= span)
        return toCircle;
    const QPointF a = centre + radius * QPointF(std::cos(start), std::sin(start));
    const QPointF b = centre + radius * QPointF(std::cos(start + span), std::sin(start + span));
    return std::min(QLineF(p, a).length(), QLineF(p, b).length());
}

DxfEntity DxfEntity::line(const QPointF &start, const QPointF &end)
{
    DxfEntity e;
    e.kind = Line;
    e.start = start;
    e.end = end;
    e.updateBounds();
    return e;
}

DxfEntity DxfEntity::circle(const QPointF &centre, double radius)
{
    DxfEntity e;
    e.kind = Arc;
    e.centre = centre;
    e.radius = radius;
    e.fullCircle = true;
    e.startAngle = 0.0;
    e.spanAngle = 360.0;
    e.updateBounds();
    return e;
}

DxfEntity DxfEntity::arc(const QPointF &centre, double radius, double startDeg, double endDeg)
{
    const double s = wrap(startDeg, 360.0);
    const double e = wrap(endDeg, 360.0);
    if (s == e)
        return circle(centre, radius);
    DxfEntity a = circle(centre, radius);
    a.fullCircle = false;
    a.startAngle = s;
    a.spanAngle = e > s ? e - s : e - s + 360.0;
    return a;
}

int DxfEntity::ellipseSegments(double majorLength, double spanParam, double chordTolerance)
{
    if (!(majorLength > 0.0) || !(chordTolerance > 0.0) || !std::isfinite(majorLength)
        || !(spanParam > 0.0))
        return 0;
    // The chord over a parameter step h lies at most h²·a/8 from an ellipse of semi-major axis a
    // (the second derivative of the parameter form is never longer than a); half the tolerance
    // leaves room for the higher-order terms.
    const double step = std::sqrt(4.0 * chordTolerance / majorLength);
    const double segments = std::ceil(spanParam / step);
    if (!(segments <= kMaxEllipseSegments))
        return 0;
    return std::max(8, static_cast<int>(segments));
}

DxfEntity DxfEntity::ellipse(const QPointF &centre, const QPointF &majorAxis, double ratio,
                             double startParam, double endParam, double chordTolerance)
{
    DxfEntity e;
    e.kind = Ellipse;
    e.centre = centre;
    e.majorAxis = majorAxis;
    e.ratio = ratio;
    e.startParam = wrap(startParam, kTwoPi);
    const double end = wrap(endParam, kTwoPi);
    const double span = end > e.startParam ? end - e.startParam : end - e.startParam + kTwoPi;
    // Parameters a full turn apart, or the same, give the whole ellipse.
    e.wholeEllipse = std::abs(endParam - startParam) >= kTwoPi * (1.0 - 1e-12)
        || std::abs(span - kTwoPi) < 1e-12 || end == e.startParam;
    e.spanParam = e.wholeEllipse ? kTwoPi : span;
    const int n = ellipseSegments(length(majorAxis), e.spanParam, chordTolerance);
    e.outline.reserve(n + 1);
    for (int i = 0; n > 0 && i <= n; ++i)
        e.outline.append(e.ellipsePoint(e.startParam + e.spanParam * i / n));
    e.updateBounds();
    return e;
}

double DxfEntity::endAngle() const
{
    return wrap(startAngle + spanAngle, 360.0);
}

QPointF DxfEntity::pointAtAngle(double degrees) const
{
    const double r = toRadians(degrees);
    return centre + radius * QPointF(std::cos(r), std::sin(r));
}

QPointF DxfEntity::ellipsePoint(double param) const
{
    const QPointF minor(-majorAxis.y() * ratio, majorAxis.x() * ratio);
    return centre + majorAxis * std::cos(param) + minor * std::sin(param);
}

double DxfEntity::distanceTo(const QPointF &p, double below) const
{
    switch (kind) {
    case Line:
        return distanceToSegment(p, start, end);
    case Arc:
        return distanceToArc(p, centre, radius, startAngle, spanAngle);
    case Ellipse:
        break;
    }
    double best = below;
    const int segments = outline.size() - 1;
    for (int c = 0; c < chunkBounds.size(); ++c) {
        if (atLeastFrom(p, chunkBounds.at(c), best))
            continue;
        const int last = std::min(segments, (c + 1) * kChunk);
        for (int i = c * kChunk; i < last; ++i)
            best = std::min(best, distanceToSegment(p, outline.at(i), outline.at(i + 1)));
    }
    return best;
}

QVector<QPointF> DxfEntity::reperPoints() const
{
    QVector<QPointF> points;
    switch (kind) {
    case Line: {
        points << start << end;
        // Ten points from the left end along the segment, the last a tenth short of the right end.
        const QPointF left = end.x() < start.x() ? end : start;
        const QPointF right = end.x() < start.x() ? start : end;
        for (int i = 0; i < 10; ++i)
            points << left + (right - left) * (i / 10.0);
        break;
    }
    case Arc:
        if (fullCircle) {
            points << centre + QPointF(0, radius) << centre - QPointF(0, radius)
                   << centre + QPointF(radius, 0) << centre - QPointF(radius, 0);
            for (int i = 0; i <= 10; ++i) {
                const double dx = -radius + i * 2.0 * radius / 10.0;
                const double h = std::sqrt(std::max(0.0, radius * radius - dx * dx));
                points << centre + QPointF(dx, -h) << centre + QPointF(dx, h);
            }
        } else {
            points << pointAtAngle(startAngle) << pointAtAngle(startAngle + spanAngle);
            for (int i = 0; i <= 10; ++i)
                points << pointAtAngle(startAngle + i * spanAngle / 10.0);
        }
        break;
    case Ellipse: {
        const QPointF minor(-majorAxis.y() * ratio, majorAxis.x() * ratio);
        if (wholeEllipse) {
            points << centre + minor << centre - minor << centre + majorAxis << centre - majorAxis;
            for (int i = 0; i <= 10; ++i) {
                const double u = -1.0 + i * 0.2;
                const double v = std::sqrt(std::max(0.0, 1.0 - u * u));
                points << centre + majorAxis * u - minor * v << centre + majorAxis * u + minor * v;
            }
        } else {
            points << ellipsePoint(startParam) << ellipsePoint(startParam + spanParam);
            for (int i = 0; i <= 10; ++i)
                points << ellipsePoint(startParam + i * spanParam / 10.0);
        }
        break;
    }
    }
    return points;
}

void DxfEntity::translate(double dx, double dy)
{
    const QPointF d(dx, dy);
    start += d;
    end += d;
    centre += d;
    for (QPointF &p : outline)
        p += d;
    updateBounds();
}

void DxfEntity::rotate(double degrees, const QPointF &pivot)
{
    double c, s;
    cosSin(degrees, &c, &s);
    start = rotated(start, pivot, c, s);
    end = rotated(end, pivot, c, s);
    centre = rotated(centre, pivot, c, s);
    majorAxis = rotated(majorAxis, QPointF(), c, s);
    for (QPointF &p : outline)
        p = rotated(p, pivot, c, s);
    if (kind == Arc && !fullCircle)
        startAngle = wrap(startAngle + degrees, 360.0);
    updateBounds();
}

void DxfEntity::scale(double k)
{
    start *= k;
    end *= k;
    centre *= k;
    radius *= k;
    majorAxis *= k;
    for (QPointF &p : outline)
        p *= k;
    updateBounds();
}

void DxfEntity::updateBounds()
{
    switch (kind) {
    case Line:
        bounds = QRectF(start, end).normalized();
        break;
    case Arc:
        bounds = QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        break;
    case Ellipse: {
        chunkBounds.clear();
        if (outline.size() < 2) {
            bounds = QRectF(centre, centre);
            break;
        }
        const int segments = outline.size() - 1;
        for (int first = 0; first < segments; first += kChunk) {
            const int count = std::min(kChunk, segments - first) + 1;
            chunkBounds.append(boundsOf(outline.constData() + first, count));
        }
        bounds = boundsOf(outline.constData(), outline.size());
        break;
    }
    }
}

void DxfDrawing::append(const DxfEntity &entity)
{
    m_entities.append(entity);
}

void DxfDrawing::translate(double dx, double dy)
{
    for (DxfEntity &e : m_entities)
        e.translate(dx, dy);
}

void DxfDrawing::rotate(double degrees, const QPointF &pivot)
{
    for (DxfEntity &e : m_entities)
        e.rotate(degrees, pivot);
}

void DxfDrawing::rescale(double k)
{
    if (!(k > 0.0) || !std::isfinite(k))
        return;
    for (DxfEntity &e : m_entities)
        e.scale(k);
}

double DxfDrawing::distanceTo(const QPointF &p, int *hint) const
{
    double best = kNoDistance;
    int bestIndex = -1;
    const int first = hint && *hint >= 0 && *hint < m_entities.size() ? *hint : -1;
    if (first >= 0) {
        best = std::min(best, m_entities.at(first).distanceTo(p, best));
        bestIndex = first;
    }
    const int n = m_entities.size();
    for (int i = 0; i < n; ++i) {
        if (i == first)
            continue;
        const DxfEntity &e = m_entities.at(i);
        if (atLeastFrom(p, e.bounds, best))
            continue;
        const double d = e.distanceTo(p, best);
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    }
    if (hint)
        *hint = bestIndex;
    return best;
}

double DxfDrawing::distanceSum(const QVector<QPointF> &points, QVector<int> *hints) const
{
    if (hints && hints->size() != points.size())
        hints->fill(-1, points.size());
    double sum = 0.0;
    for (int i = 0; i < points.size(); ++i)
        sum += distanceTo(points.at(i), hints ? hints->data() + i : nullptr);
    return sum;
}
