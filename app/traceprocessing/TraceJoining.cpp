#include "traceprocessing/TraceJoining.h"

#include "core/Logger.h"

#include <QDebug>
#include <QString>

#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

namespace {

// Number of complete (X, Y) points of a set; a set without two channels has none.
int pointCount(const TData &points)
{
    if (points.size() < 2)
        return 0;
    return std::min(points[0].size(), points[1].size());
}

// Channels 0 and 1 of the trace's processed data, cut to their common length.
TData xyPoints(const AbstractTrace &trace)
{
    TData points(2);
    if (!trace.processedData)
        return points;
    const int count = pointCount(*trace.processedData);
    points[0] = trace.processedData->at(0).mid(0, count);
    points[1] = trace.processedData->at(1).mid(0, count);
    return points;
}

// Whether every X and Y of the set is a finite number. The searches compare distance sums, and a
// value that is not finite makes them meaningless (and can keep the refinement from settling).
bool allFinite(const TData &points)
{
    const int count = pointCount(points);
    for (int c = 0; c < 2 && c < points.size(); ++c) {
        for (int i = 0; i < count; ++i) {
            if (!std::isfinite(points[c][i]))
                return false;
        }
    }
    return true;
}

void appendPoint(TData &points, double x, double y)
{
    points[0].append(x);
    points[1].append(y);
}

// Adds a value to every element of one channel (every shift of the join is made with it).
void addToChannel(QVector<double> &channel, double value)
{
    for (double &element : channel)
        element += value;
}

// Nearest-point queries against a fixed reference set.
//
// The reference points are kept sorted by X. A query starts at the query's X and widens the
// window to both sides until dx² alone exceeds the best squared distance found so far. The
// result is exactly the minimum a scan over all points gives: dx and dx*dx are computed as a full
// scan computes them, and both grow monotonically away from the query's X even after rounding,
// so no skipped point can be closer. Points with a NaN X can never be nearest and are left out.
class NearestPointIndex
{
public:
    explicit NearestPointIndex(const TData &reference)
    {
        const int count = pointCount(reference);
        std::vector<int> order;
        order.reserve(size_t(count));
        for (int i = 0; i < count; ++i) {
            if (!std::isnan(reference[0][i]))
                order.push_back(i);
        }
        const QVector<double> &xs = reference[0];
        const auto byX = [&xs](int a, int b) {
            return xs[a] < xs[b];
        };
        if (!std::is_sorted(order.begin(), order.end(), byX))
            std::sort(order.begin(), order.end(), byX);
        m_x.reserve(order.size());
        m_y.reserve(order.size());
        for (int i : order) {
            m_x.push_back(reference[0][i]);
            m_y.push_back(reference[1][i]);
        }
    }

    // The smallest squared distance to a reference point; DBL_MAX when there is none.
    double nearestSquaredDistance(double x, double y) const
    {
        double best = std::numeric_limits<double>::max();
        const size_t size = m_x.size();
        const size_t start = size_t(std::lower_bound(m_x.begin(), m_x.end(), x) - m_x.begin());
        for (size_t j = start; j < size; ++j) {
            if (!consider(x, y, j, best))
                break;
        }
        for (size_t j = start; j-- > 0;) {
            if (!consider(x, y, j, best))
                break;
        }
        return best;
    }

    double summedDistance(const TData &moving) const
    {
        const int count = pointCount(moving);
        double sum = 0.0;
        for (int i = 0; i < count; ++i)
            sum += std::sqrt(nearestSquaredDistance(moving[0][i], moving[1][i]));
        return sum;
    }

private:
    // Updates best with point j; false once this point and all beyond it are too far in X.
    bool consider(double x, double y, size_t j, double &best) const
    {
        const double dx = x - m_x[j];
        const double dxSquared = dx * dx;
        if (dxSquared > best)
            return false;
        const double dy = y - m_y[j];
        const double distance = dxSquared + dy * dy;
        if (distance < best)
            best = distance;
        return true;
    }

    std::vector<double> m_x;
    std::vector<double> m_y;
};

std::pair<double, double> searchOffset(TData &moving, const NearestPointIndex &reference,
                                       int coordinate)
{
    double best = reference.summedDistance(moving);
    const int count = pointCount(moving);
    if (count == 0 || coordinate < 0 || coordinate > 1)
        return {0.0, best};

    QVector<double> &channel = moving[coordinate];
    const auto range = std::minmax_element(channel.begin(), channel.begin() + count);
    const double firstStep = 0.05 * std::fabs(*range.second - *range.first);
    double step = firstStep;
    double shift = 0.0;
    while (step > 0.001 * firstStep) {
        addToChannel(channel, step);
        const double errorPlus = reference.summedDistance(moving);
        addToChannel(channel, -2.0 * step);
        const double errorMinus = reference.summedDistance(moving);
        if (errorPlus < best && errorPlus < errorMinus) {
            addToChannel(channel, 2.0 * step);
            best = errorPlus;
            shift += step;
        } else if (errorMinus < best && errorMinus < errorPlus) {
            best = errorMinus;
            shift -= step;
        } else {
            addToChannel(channel, step);
            step *= 0.5;
        }
    }
    return {shift, best};
}

QString errorText(double error)
{
    return QString::number(error, 'f', 3);
}

} // namespace

std::pair<TData, TData> cutUniteOverlaps(const AbstractTrace &left, const AbstractTrace &right,
                                         double length)
{
    const TData leftPoints = xyPoints(left);
    const TData rightPoints = xyPoints(right);
    TData leftPart(2);
    TData rightPart(2);

    const int leftCount = pointCount(leftPoints);
    if (leftCount > 0) {
        const double xEnd = leftPoints[0][leftCount - 1];
        // Every point is tested (the X order of a trace is not relied on); the first never is.
        for (int i = 1; i < leftCount; ++i) {
            if (xEnd - leftPoints[0][i] < length)
                appendPoint(leftPart, leftPoints[0][i], leftPoints[1][i]);
        }
    }
    const int rightCount = pointCount(rightPoints);
    if (rightCount > 0) {
        const double xStart = rightPoints[0][0];
        for (int i = 0; i < rightCount; ++i) {
            if (rightPoints[0][i] - xStart < length)
                appendPoint(rightPart, rightPoints[0][i], rightPoints[1][i]);
        }
    }
    return {leftPart, rightPart};
}

TData prepareUniteOverlap(const TData &part, double length)
{
    TData thinned(2);
    const int count = pointCount(part);
    double threshold = 0.0;
    for (int i = 0; i < count; ++i) {
        if (part[0][i] - part[0][0] >= threshold) {
            appendPoint(thinned, part[0][i], part[1][i]);
            threshold += length / 100.0;
        }
    }
    return thinned;
}

double summedCurveDistance(const TData &reference, const TData &moving)
{
    return NearestPointIndex(reference).summedDistance(moving);
}

std::pair<double, double> searchUniteOffset(TData &moving, const TData &reference, int coordinate)
{
    if (!allFinite(moving) || !allFinite(reference))
        return {0.0, std::numeric_limits<double>::quiet_NaN()};
    return searchOffset(moving, NearestPointIndex(reference), coordinate);
}

std::pair<double, double> refineUniteOffset(const TData &reference, TData &moving)
{
    if (!allFinite(reference) || !allFinite(moving))
        return {0.0, 0.0};
    const NearestPointIndex index(reference);
    double before = index.summedDistance(moving);
    double sumX = 0.0;
    double sumY = 0.0;
    for (;;) {
        const std::pair<double, double> alongX = searchOffset(moving, index, 0);
        const std::pair<double, double> alongY = searchOffset(moving, index, 1);
        const double minimal = std::min(std::min(alongX.second, before), alongY.second);
        sumX += alongX.first;
        sumY += alongY.first;
        if (errorText(before) == errorText(minimal))
            return {sumX, sumY};
        qDebug() << "beforeError = " << before << "minimalError = " << minimal;
        before = minimal;
    }
}

TData mergeUnitedPoints(const TData &left, const TData &shiftedRight)
{
    TData merged(2);
    const int leftCount = pointCount(left);
    const int rightCount = pointCount(shiftedRight);
    for (int i = 0; i < leftCount; ++i) {
        if (rightCount == 0 || left[0][i] < shiftedRight[0][0])
            appendPoint(merged, left[0][i], left[1][i]);
    }
    for (int i = 0; i < rightCount; ++i)
        appendPoint(merged, shiftedRight[0][i], shiftedRight[1][i]);
    return merged;
}

TData uniteTraces(const AbstractTrace &left, const AbstractTrace &right, double overlap)
{
    if (!(overlap > 0.0))
        return TData();
    const double length = 1000.0 * overlap;
    const TData leftPoints = xyPoints(left);
    if (pointCount(leftPoints) < 2)
        return TData();
    // The joined trace would carry such a value, and the offset search cannot measure with it.
    if (!allFinite(leftPoints) || !allFinite(xyPoints(right))) {
        logger.log(WARNING, "Traces not joined: a trace holds a value that is not a finite number");
        return TData();
    }

    std::pair<TData, TData> parts = cutUniteOverlaps(left, right, length);
    const TData &leftPart = parts.first;
    TData &rightPart = parts.second;
    if (pointCount(leftPart) == 0 || pointCount(rightPart) == 0)
        return TData();

    const double coarseX = leftPart[0][0] - rightPart[0][0];
    const double coarseY = leftPart[1][0] - rightPart[1][0];
    addToChannel(rightPart[0], coarseX);
    addToChannel(rightPart[1], coarseY);

    TData moving = prepareUniteOverlap(rightPart, length);
    const std::pair<double, double> refined = refineUniteOffset(leftPart, moving);

    TData shiftedRight = xyPoints(right);
    addToChannel(shiftedRight[0], coarseX + refined.first);
    addToChannel(shiftedRight[1], coarseY + refined.second);
    return mergeUnitedPoints(leftPoints, shiftedRight);
}
