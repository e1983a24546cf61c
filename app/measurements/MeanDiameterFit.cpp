#include "measurements/MeanDiameterFit.h"

#include "processing/Fitting.h"

#include <QDebug>
#include <QLineF>

#include <cmath>
#include <limits>

namespace {

constexpr double kPi = 3.14159265358979323846;

} // namespace

MeanDiameterFit::MeanDiameterFit(const QVector<QPointF> &points)
    : m_points(points)
{ }

double MeanDiameterFit::residual(const QPointF &p, double c0, double c1) const
{
    const double r = p.y() - (c0 + c1 * p.x());
    return std::abs(r) <= m_onLine ? 0.0 : r;
}

int MeanDiameterFit::crossings(double c0, double c1) const
{
    int count = 0;
    double side = 0.0;
    for (const QPointF &p : m_points) {
        const double r = residual(p, c0, c1);
        if (r == 0.0)
            continue;
        if (side != 0.0 && side * r < 0.0)
            ++count;
        side = r;
    }
    return count;
}

double MeanDiameterFit::crossingError(double c0, double c1)
{
    const int n = m_points.size();
    // The walk starts at the first point off the line: a point on it never starts a crossing.
    int first = 0;
    while (first < n && residual(m_points.at(first), c0, c1) == 0.0)
        ++first;
    if (first >= n)
        return kRejected;

    QVector<double> distances;
    int ref = first;
    double refResidual = residual(m_points.at(first), c0, c1);
    for (int i = first + 1; i < n - 1; ++i) {
        const double r = residual(m_points.at(i), c0, c1);
        if (refResidual * r < 0.0) {
            distances.append(QLineF(m_points.at(ref), m_points.at(i)).length());
            ref = i;
            refResidual = r;
        }
    }
    if (distances.isEmpty())
        return kRejected;
    // The stretch from the start to the first crossing is not a whole ridge or groove.
    distances.removeFirst();
    int m = distances.size();
    const bool referenceSet = m_referenceCount >= 0;
    if (!referenceSet)
        m_referenceCount = m;
    if (m % 2 == 1) {
        distances.removeLast();
        --m;
    }
    if (referenceSet && std::abs(m - m_referenceCount) > 2)
        return kRejected;
    // A line with no whole ridge and groove left has nothing to compare: not a perfect fit.
    if (m == 0)
        return kRejected;
    double sum = 0.0;
    for (double d : qAsConst(distances))
        sum += d;
    const double mean = sum / m;
    double error = 0.0;
    for (double d : qAsConst(distances))
        error += std::abs(mean - d);
    return error;
}

void MeanDiameterFit::turned(double degrees, double *c0, double *c1) const
{
    // Turns the drawn segment about its middle; a positive step turns it clockwise.
    const double yFirst = *c0 + *c1 * m_xMin;
    const double yLast = *c0 + *c1 * m_xMax;
    const double cx = (m_xMin + m_xMax) / 2.0;
    const double cy = (yFirst + yLast) / 2.0;
    const double theta = -degrees * kPi / 180.0;
    const double s = std::sin(theta);
    const double c = std::cos(theta);
    const double first = cy + (m_xMin - cx) * s + (yFirst - cy) * c;
    const double last = cy + (m_xMax - cx) * s + (yLast - cy) * c;
    *c1 = (last - first) / (m_xMax - m_xMin);
    *c0 = first - *c1 * m_xMin;
}

double MeanDiameterFit::search(bool turn, double v, double step, double endStep)
{
    while (step > endStep) {
        double plus0 = m_c0, plus1 = m_c1, minus0 = m_c0, minus1 = m_c1;
        if (turn) {
            turned(step, &plus0, &plus1);
            turned(-step, &minus0, &minus1);
        } else {
            plus0 += step;
            minus0 -= step;
        }
        const double e1 = crossingError(plus0, plus1);
        const double e2 = crossingError(minus0, minus1);
        // Better only by more than the tie margin (see the class comment).
        if (e1 < e2 - kTie && e1 < v - kTie) {
            m_c0 = plus0;
            m_c1 = plus1;
            v = e1;
            qDebug() << "Improved (positive step):" << e1;
        } else if (e2 < e1 - kTie && e2 < v - kTie) {
            m_c0 = minus0;
            m_c1 = minus1;
            v = e2;
            qDebug() << "Improved (negative step):" << e2;
        } else {
            step *= kStepFactor;
        }
    }
    return v;
}

MeanDiameterFit::Outcome MeanDiameterFit::fit()
{
    // The profile's extent, in the points as given.
    double xMin = std::numeric_limits<double>::infinity();
    double xMax = -xMin;
    double yMin = xMin;
    double yMax = -xMin;
    for (const QPointF &p : qAsConst(m_points)) {
        xMin = std::min(xMin, p.x());
        xMax = std::max(xMax, p.x());
        yMin = std::min(yMin, p.y());
        yMax = std::max(yMax, p.y());
    }
    m_xMin = xMin;
    m_xMax = xMax;
    if (!(xMax > xMin) || !std::isfinite(xMax - xMin) || !std::isfinite(yMax - yMin))
        return TooFewPoints;

    // The fit's own frame: the lowest left corner at the origin, the height 1. A flat profile
    // keeps its scale (it crosses no line anyway).
    const double height = yMax - yMin;
    const QPointF origin(xMin, yMin);
    const double scale = height > 0.0 ? height : 1.0;
    const QVector<QPointF> given = m_points;
    for (QPointF &p : m_points)
        p = (p - origin) / scale;
    const double frameMax = (xMax - xMin) / scale;
    m_xMin = 0.0;
    m_xMax = frameMax;
    m_onLine = kOnLine;

    const Outcome outcome = fitInFrame();

    // Back to the points as given: y = yMin + s·(c0' + c1'·(x − xMin)/s).
    m_points = given;
    m_onLine = 0.0;
    m_xMin = xMin;
    m_xMax = xMax;
    m_c0 = origin.y() + scale * m_c0 - m_c1 * origin.x();
    return outcome;
}

MeanDiameterFit::Outcome MeanDiameterFit::fitInFrame()
{
    QVector<double> xs, ys;
    xs.reserve(m_points.size());
    ys.reserve(m_points.size());
    for (const QPointF &p : qAsConst(m_points)) {
        xs.append(p.x());
        ys.append(p.y());
    }
    const Algos::RMS line(xs, ys);
    if (!line.isValid())
        return TooFewPoints;
    m_c0 = line.coefficient(0);
    m_c1 = line.coefficient(1);
    if (crossings(m_c0, m_c1) < 3)
        return TooFewCrossings;

    m_referenceCount = -1;
    double best = crossingError(m_c0, m_c1);
    const double shiftStep = kInitialShiftShare; // one height of the profile
    while (best < std::numeric_limits<double>::max()) {
        double v = crossingError(m_c0, m_c1);
        search(true, v, kInitialTurnDeg, kInitialTurnDeg * kEndShare);
        v = crossingError(m_c0, m_c1);
        v = search(false, v, shiftStep, shiftStep * kEndShare);
        if (best > v + kTie)
            best = v;
        else
            break;
    }
    return Fitted;
}
