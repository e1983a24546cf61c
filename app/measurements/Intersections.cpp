#include "measurements/Intersections.h"

#include <cmath>

namespace {

// Curves that miss or cross each other by less than this fraction of their size touch: the
// rounding of their coordinates cannot tell those cases apart.
constexpr double kTouchRatio = 1e-12;

bool finite(const CircleShape &c)
{
    return std::isfinite(c.cx) && std::isfinite(c.cy) && std::isfinite(c.r);
}

bool finite(const LineShape &l)
{
    return std::isfinite(l.k) && std::isfinite(l.b);
}

} // namespace

QList<QPointF> intersectCircles(const CircleShape &a, const CircleShape &b)
{
    if (!finite(a) || !finite(b))
        return {};
    const double dx = b.cx - a.cx;
    const double dy = b.cy - a.cy;
    const double d = std::hypot(dx, dy);
    if (d == 0.0)
        return {};
    const double sum = a.r + b.r;
    const double diff = std::abs(b.r - a.r);
    const double tolerance = kTouchRatio * std::abs(sum);
    if (d > sum + tolerance || d < diff - tolerance)
        return {};

    const double m = (a.r * a.r - b.r * b.r + d * d) / (2.0 * d);
    const double mx = a.cx + dx * m / d;
    const double my = a.cy + dy * m / d;
    if (std::abs(d - sum) <= tolerance || std::abs(d - diff) <= tolerance)
        return {QPointF(mx, my)};
    const double h = std::sqrt(std::max(0.0, a.r * a.r - m * m));
    return {QPointF(mx + dy * h / d, my - dx * h / d), QPointF(mx - dy * h / d, my + dx * h / d)};
}

QList<QPointF> intersectVerticalAndLine(double xv, const LineShape &line)
{
    if (!std::isfinite(xv) || !finite(line))
        return {};
    return {QPointF(xv, line.k * xv + line.b)};
}

QList<QPointF> intersectVerticalAndCircle(double xv, const CircleShape &circle)
{
    if (!std::isfinite(xv) || !finite(circle))
        return {};
    const double u = xv - circle.cx;
    const double r = std::abs(circle.r);
    if (std::abs(u) > r)
        return {};
    const double h2 = r * r - u * u;
    if (h2 <= kTouchRatio * r * r)
        return {QPointF(xv, circle.cy)};
    const double h = std::sqrt(h2);
    return {QPointF(xv, circle.cy + h), QPointF(xv, circle.cy - h)};
}

QList<QPointF> intersectLineAndCircle(const LineShape &line, const CircleShape &circle)
{
    if (!finite(line) || !finite(circle))
        return {};
    // In coordinates centred on the circle the line is y' = k·x' + c, and the crossings solve
    // (1 + k²)·x'² + 2·k·c·x' + c² − r² = 0. Centring keeps the discriminant free of the
    // cancellation of large coordinates.
    const double k = line.k;
    const double c = k * circle.cx + line.b - circle.cy;
    const double a = 1.0 + k * k;
    const double r2 = circle.r * circle.r;
    const double quarterDisc = a * r2 - c * c;
    if (quarterDisc < -kTouchRatio * a * r2)
        return {};
    if (quarterDisc <= kTouchRatio * a * r2) {
        const double x = circle.cx - k * c / a;
        return {QPointF(x, k * x + line.b)};
    }
    const double s = std::sqrt(quarterDisc);
    const double x1 = circle.cx + (-k * c - s) / a;
    const double x2 = circle.cx + (-k * c + s) / a;
    return {QPointF(x1, k * x1 + line.b), QPointF(x2, k * x2 + line.b)};
}

QList<QPointF> intersectLineAndLine(const LineShape &a, const LineShape &b)
{
    if (!finite(a) || !finite(b) || a.k == b.k)
        return {};
    const double x = (b.b - a.b) / (a.k - b.k);
    return {QPointF(x, a.k * x + a.b)};
}
