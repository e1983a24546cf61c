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
        size_t j = start;
        for (; j < size; ++j) {
            if (!consider(x, y, j, best))
                break;
        }
        m_work += j - start + 1;
        for (j = start; j-- > 0;) {
            ++m_work;
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

    // Reference points looked at so far (with one for every query), a measure of the time spent.
    long long work() const { return m_work; }

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
    mutable long long m_work = 0;
};

// The reference points that the offset search of one join may look at. A search that cannot
// settle within them is given up: the join is refused rather than left running. A join of two
// 10 mm overlaps sampled every 0.5 µm settles after a few million.
constexpr long long kOffsetSearchWork = 400000000;

// The outcome of one search along a coordinate.
struct SearchResult
{
    double shift = 0.0;
    double error = 0.0;
    // False when the work limit ended the search before its step had shrunk.
    bool settled = true;
};

// The pattern search along one coordinate. Every trial position is the channel's starting
// values plus the trial shift, computed afresh: shifting the set back and forth by adding steps
// would leave it a rounding away from where it was measured, and a set that creeps by roundings
// can keep finding "better" positions for ever.
SearchResult searchOffset(TData &moving, const NearestPointIndex &reference, int coordinate,
                          long long workLimit)
{
    SearchResult result;
    result.error = reference.summedDistance(moving);
    const int count = pointCount(moving);
    if (count == 0 || coordinate < 0 || coordinate > 1)
        return result;

    QVector<double> &channel = moving[coordinate];
    const QVector<double> origin = channel.mid(0, count);
    const auto placeAt = [&channel, &origin, count](double shift) {
        for (int i = 0; i < count; ++i)
            channel[i] = origin[i] + shift;
    };
    const auto range = std::minmax_element(origin.cbegin(), origin.cend());
    const double firstStep = 0.05 * std::fabs(*range.second - *range.first);
    double step = firstStep;
    while (step > 0.001 * firstStep) {
        if (reference.work() > workLimit) {
            result.settled = false;
            break;
        }
        placeAt(result.shift + step);
        const double errorPlus = reference.summedDistance(moving);
        placeAt(result.shift - step);
        const double errorMinus = reference.summedDistance(moving);
        if (errorPlus < result.error && errorPlus < errorMinus) {
            result.error = errorPlus;
            result.shift += step;
        } else if (errorMinus < result.error && errorMinus < errorPlus) {
            result.error = errorMinus;
            result.shift -= step;
        } else {
            step *= 0.5;
        }
    }
    placeAt(result.shift);
    return result;
}

QString errorText(double error)
{
    return QString::number(error, 'f', 3);
}

// The outcome of the alternating searches.
struct RefineResult
{
    double shiftX = 0.0;
    double shiftY = 0.0;
    bool settled = true;
};

RefineResult refine(const NearestPointIndex &index, TData &moving, long long workLimit)
{
    RefineResult result;
    double before = index.summedDistance(moving);
    for (;;) {
        const SearchResult alongX = searchOffset(moving, index, 0, workLimit);
        const SearchResult alongY = searchOffset(moving, index, 1, workLimit);
        const double minimal = std::min(std::min(alongX.error, before), alongY.error);
        result.shiftX += alongX.shift;
        result.shiftY += alongY.shift;
        if (!alongX.settled || !alongY.settled) {
            result.settled = false;
            return result;
        }
        if (errorText(before) == errorText(minimal))
            return result;
        qDebug() << "beforeError = " << before << "minimalError = " << minimal;
        before = minimal;
    }
}

void logRefusal(const char *reason)
{
    logger.log(WARNING, std::string("Traces not joined: ") + reason);
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
    const SearchResult result
        = searchOffset(moving, NearestPointIndex(reference), coordinate, kOffsetSearchWork);
    return {result.shift, result.error};
}

std::pair<double, double> refineUniteOffset(const TData &reference, TData &moving, bool *settled)
{
    if (settled)
        *settled = true;
    if (!allFinite(reference) || !allFinite(moving))
        return {0.0, 0.0};
    const RefineResult result = refine(NearestPointIndex(reference), moving, kOffsetSearchWork);
    if (settled)
        *settled = result.settled;
    return {result.shiftX, result.shiftY};
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

TData uniteTraces(const AbstractTrace &left, const AbstractTrace &right, double overlap,
                  UniteRefusal *refusal)
{
    const auto refuse = [refusal](UniteRefusal reason) {
        logRefusal(uniteRefusalLogText(reason));
        if (refusal)
            *refusal = reason;
        return TData();
    };
    if (refusal)
        *refusal = UniteRefusal::None;
    if (!(overlap > 0.0))
        return refuse(UniteRefusal::OverlapNotPositive);
    const double length = 1000.0 * overlap;
    const TData leftPoints = xyPoints(left);
    if (pointCount(leftPoints) < 2)
        return refuse(UniteRefusal::TooFewPoints);
    // The joined trace would carry such a value, and the offset search cannot measure with it.
    if (!allFinite(leftPoints) || !allFinite(xyPoints(right)))
        return refuse(UniteRefusal::ValueNotFinite);

    std::pair<TData, TData> parts = cutUniteOverlaps(left, right, length);
    const TData &leftPart = parts.first;
    TData &rightPart = parts.second;
    if (pointCount(leftPart) == 0 || pointCount(rightPart) == 0)
        return refuse(UniteRefusal::NoOverlap);

    const double coarseX = leftPart[0][0] - rightPart[0][0];
    const double coarseY = leftPart[1][0] - rightPart[1][0];
    addToChannel(rightPart[0], coarseX);
    addToChannel(rightPart[1], coarseY);

    TData moving = prepareUniteOverlap(rightPart, length);
    const RefineResult refined = refine(NearestPointIndex(leftPart), moving, kOffsetSearchWork);
    if (!refined.settled)
        return refuse(UniteRefusal::NoOffset);

    TData shiftedRight = xyPoints(right);
    addToChannel(shiftedRight[0], coarseX + refined.shiftX);
    addToChannel(shiftedRight[1], coarseY + refined.shiftY);
    // Offsets near the end of the range of doubles can carry a point beyond it.
    if (!allFinite(shiftedRight))
        return refuse(UniteRefusal::NoOffset);
    return mergeUnitedPoints(leftPoints, shiftedRight);
}

const char *uniteRefusalLogText(UniteRefusal refusal)
{
    switch (refusal) {
    case UniteRefusal::None:
        return "";
    case UniteRefusal::OverlapNotPositive:
        return "the overlap is not a positive length";
    case UniteRefusal::TooFewPoints:
        return "the left trace has fewer than two points";
    case UniteRefusal::ValueNotFinite:
        return "a trace holds a value that is not a finite number";
    case UniteRefusal::NoOverlap:
        return "no common part at the overlap given";
    case UniteRefusal::NoOffset:
        return "the offset search did not settle within its work limit";
    }
    return "";
}

QString uniteRefusalText(UniteRefusal refusal)
{
    switch (refusal) {
    case UniteRefusal::None:
        return QString();
    case UniteRefusal::OverlapNotPositive:
        return QStringLiteral("нахлёст должен быть больше нуля");
    case UniteRefusal::TooFewPoints:
        return QStringLiteral("в левой трассе меньше двух точек");
    case UniteRefusal::ValueNotFinite:
        return QStringLiteral("в трассе есть значение, не являющееся конечным числом");
    case UniteRefusal::NoOverlap:
        return QStringLiteral("на заданной длине нахлёста у трасс нет общих точек");
    case UniteRefusal::NoOffset:
        return QStringLiteral("не найдено смещение, при котором трассы совпадают");
    }
    return QString();
}
