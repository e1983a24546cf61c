#include "measurements/Geometry.h"

#include <cmath>
#include <limits>

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();

// Below these ratios a spread or a determinant counts as zero. Both are relative, so that the
// same points give the same answer in every display unit.
constexpr double kAxisAlignedRatio = 1e-12;
constexpr double kParallelRatio = 1e-10;
constexpr double kCollinearRatio = 1e-12;

// Largest number of Newton steps of the circle fit.
constexpr int kNewtonSteps = 99;

} // namespace

QPointF lineDirection(const geometry_detail::LineSums &s)
{
    const double t = s.sxx + s.syy;
    if (!(std::abs(s.sxy) > kAxisAlignedRatio * t))
        return s.sxx > s.syy ? QPointF(1.0, 0.0) : QPointF(0.0, 1.0);
    // Eigenvector of the larger eigenvalue of the scatter matrix. Of its two forms the one whose
    // subtraction does not cancel is taken.
    const double halfDiff = 0.5 * (s.sxx - s.syy);
    const double lambda = 0.5 * t + std::sqrt(halfDiff * halfDiff + s.sxy * s.sxy);
    double vx = 0.0;
    double vy = 0.0;
    if (s.sxx >= s.syy) {
        vx = lambda - s.syy;
        vy = s.sxy;
    } else {
        vx = s.sxy;
        vy = lambda - s.sxx;
    }
    if (vx < 0.0) {
        vx = -vx;
        vy = -vy;
    }
    const double length = std::hypot(vx, vy);
    return QPointF(vx / length, vy / length);
}

LineRecord lineFromSums(const geometry_detail::LineSums &s)
{
    LineRecord line;
    line.x0 = s.mx;
    line.y0 = s.my;
    const QPointF d = lineDirection(s);
    line.dx = float(d.x());
    line.dy = float(d.y());
    return line;
}

QPointF intersectLines(const LineRecord &a, const LineRecord &b)
{
    // The products of the single-precision components are exact in double.
    const double det = double(a.dx) * double(b.dy) - double(b.dx) * double(a.dy);
    const double scale
        = std::hypot(double(a.dx), double(a.dy)) * std::hypot(double(b.dx), double(b.dy));
    if (!(std::abs(det) > kParallelRatio * scale))
        return QPointF(kNaN, kNaN);
    const double t = ((b.x0 - a.x0) * double(b.dy) - double(b.dx) * (b.y0 - a.y0)) / det;
    return QPointF(a.x0 + double(a.dx) * t, a.y0 + double(a.dy) * t);
}

QPointF rotatePoint(float cx, float cy, float angle, const QPointF &p)
{
    if (angle == 0.0f)
        return p;
    const double ddx = p.x() - double(cx);
    const double ddy = p.y() - double(cy);
    const double c = std::cos(double(angle));
    const double s = std::sin(double(angle));
    return QPointF(ddx * c - ddy * s + double(cx), ddx * s + ddy * c + double(cy));
}

QPointF RigidTransform::map(const QPointF &p) const
{
    if (angle == 0.0)
        return p + shift;
    const double c = std::cos(angle);
    const double s = std::sin(angle);
    return QPointF(p.x() * c - p.y() * s + shift.x(), p.x() * s + p.y() * c + shift.y());
}

RigidTransform RigidTransform::thenRotated(float cx, float cy, float turn) const
{
    if (turn == 0.0f)
        return *this;
    // R(t)·(R(a)·p + s − c) + c = R(a + t)·p + R(t)·(s − c) + c.
    RigidTransform out;
    out.angle = std::remainder(angle + double(turn), 2.0 * M_PI);
    if (out.angle == -M_PI)
        out.angle = M_PI;
    const QPointF centre {double(cx), double(cy)};
    out.shift = rotatePoint(0.0f, 0.0f, turn, shift - centre) + centre;
    return out;
}

RigidTransform RigidTransform::inverted() const
{
    // p = R(−a)·(q − s) = R(−a)·q − R(−a)·s.
    RigidTransform out;
    out.angle = angle == M_PI ? M_PI : -angle;
    const double c = std::cos(out.angle);
    const double s = std::sin(out.angle);
    out.shift = QPointF(-(shift.x() * c - shift.y() * s), -(shift.x() * s + shift.y() * c));
    return out;
}

PlotTransform PlotTransform::scaling(double factor)
{
    PlotTransform t;
    t.scale = factor;
    return t;
}

PlotTransform PlotTransform::turn(float cx, float cy, float angle)
{
    PlotTransform t;
    t.motion = RigidTransform().thenRotated(cx, cy, angle);
    t.isTurn = angle != 0.0f;
    t.turnX = cx;
    t.turnY = cy;
    t.turnAngle = angle;
    return t;
}

PlotTransform PlotTransform::moving(const RigidTransform &motion)
{
    PlotTransform t;
    t.motion = motion;
    return t;
}

QPointF PlotTransform::map(const QPointF &p) const
{
    // A turn maps as rotatePoint does, so that what follows it lies exactly where the curves it
    // turned lie.
    if (isTurn)
        return rotatePoint(turnX, turnY, turnAngle, p);
    if (scale == 1.0)
        return motion.map(p);
    return motion.map(p * scale);
}

bool circleFromMoments(const geometry_detail::CircleMoments &sums, QPointF &centre, double &radius)
{
    centre = QPointF(kNaN, kNaN);
    radius = kNaN;
    const double n = sums.n;
    if (!(n > 0.0))
        return false;

    const double mxx = sums.mxx / n;
    const double myy = sums.myy / n;
    const double mxy = sums.mxy / n;
    const double mxz = sums.mxz / n;
    const double myz = sums.myz / n;
    const double mzz = sums.mzz / n;

    const double mz = mxx + myy;
    const double cov = mxx * myy - mxy * mxy;
    // Collinear points (two distinct points included) make cov vanish up to rounding; no circle
    // passes through them.
    if (!(cov > kCollinearRatio * mxx * myy))
        return false;
    const double varz = mzz - mz * mz;

    const double a2 = 4.0 * cov - 3.0 * mz * mz - mzz;
    const double a1 = varz * mz + 4.0 * cov * mz - mxz * mxz - myz * myz;
    const double a0 = mxz * (mxz * myy - myz * mxy) + myz * (myz * mxx - mxz * mxy) - varz * cov;
    const double a22 = 2.0 * a2;

    double x = 0.0;
    double y = a0;
    for (int step = 0; step < kNewtonSteps; ++step) {
        const double dy = a1 + x * (a22 + 16.0 * x * x);
        const double xnew = x - y / dy;
        if (xnew == x || !std::isfinite(xnew))
            break;
        const double ynew = a0 + xnew * (a1 + xnew * (a2 + 4.0 * xnew * xnew));
        if (std::abs(ynew) >= std::abs(y))
            break;
        x = xnew;
        y = ynew;
    }

    const double det = x * x - x * mz + cov;
    const double xc = (mxz * (myy - x) - myz * mxy) / det / 2.0;
    const double yc = (myz * (mxx - x) - mxz * mxy) / det / 2.0;
    const double r = std::sqrt(xc * xc + yc * yc + mz - 2.0 * x);
    if (!std::isfinite(xc) || !std::isfinite(yc) || !std::isfinite(r))
        return false;
    centre = QPointF(sums.mx + xc, sums.my + yc);
    radius = r;
    return true;
}
