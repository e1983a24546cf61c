#include "plot/CurveHitTest.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

// Points per block of the value-bounds index. A block also covers the first point of the next
// block, so every line segment lies inside the bounds of the block where it starts.
constexpr int kBlock = 64;

const QCPCurveData *firstPoint(const QCPCurve *curve)
{
    return curve->data()->isEmpty() ? nullptr : &*curve->data()->constBegin();
}

} // namespace

CurveHitTester::Hit CurveHitTester::libraryHitTest(const QCPCurve *curve, const QPointF &pos)
{
    QVariant details;
    Hit hit;
    // The base class's own test: a curve that answers through this tester must not come back here.
    hit.distance = curve->QCPCurve::selectTest(pos, false, &details);
    const QCPDataSelection selection = details.value<QCPDataSelection>();
    if (hit.distance >= 0 && !selection.isEmpty())
        hit.index = selection.dataRange(0).begin();
    else
        hit.distance = -1.0;
    return hit;
}

const CurveHitTester::Index &CurveHitTester::indexFor(const QCPCurve *curve)
{
    const QCPCurveData *data = firstPoint(curve);
    const int size = curve->data()->size();
    auto it = m_indices.find(curve);
    if (it != m_indices.end() && it->curve == curve && it->storage == data && it->size == size
        && size > 0 && it->firstKey == data[0].key && it->lastKey == data[size - 1].key)
        return *it;

    Index index;
    index.curve = const_cast<QCPCurve *>(curve);
    index.storage = data;
    index.size = size;
    if (size > 0) {
        index.firstKey = data[0].key;
        index.lastKey = data[size - 1].key;
    }
    if (size < 2)
        return *m_indices.insert(curve, index);

    // One pass: the direction of the keys and the value bounds of every block. Monotonic means
    // every key is a number and the keys never turn back; a NaN key fails both comparisons.
    const int blocks = (size - 1) / kBlock + 1;
    index.low.resize(blocks);
    index.high.resize(blocks);
    bool up = true;
    bool down = true;
    for (int b = 0; b < blocks; ++b) {
        const int from = b * kBlock;
        const int to = std::min(from + kBlock, size - 1); // inclusive
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        bool blockUp = true;
        bool blockDown = true;
        double previousKey = data[from].key;
        for (int i = from; i <= to; ++i) {
            const double k = data[i].key;
            const double v = data[i].value;
            blockUp &= k >= previousKey;
            blockDown &= k <= previousKey;
            previousKey = k;
            lo = v < lo ? v : lo;
            hi = v > hi ? v : hi;
        }
        up = up && blockUp;
        down = down && blockDown;
        if (lo > hi) // only NaN values
            lo = hi = std::numeric_limits<double>::quiet_NaN();
        index.low[b] = lo;
        index.high[b] = hi;
    }
    index.monotonic = up || down;
    index.ascending = up;
    if (!index.monotonic) {
        index.low.clear();
        index.high.clear();
    }
    return *m_indices.insert(curve, index);
}

CurveHitTester::Hit CurveHitTester::hitTest(const QCPCurve *curve, const QPointF &pos)
{
    Hit hit;
    QCPAxis *keyAxis = curve ? curve->keyAxis() : nullptr;
    QCPAxis *valueAxis = curve ? curve->valueAxis() : nullptr;
    if (!keyAxis || !valueAxis || curve->data()->isEmpty())
        return hit;
    QCustomPlot *plot = curve->parentPlot();
    if (!keyAxis->axisRect()->rect().contains(pos.toPoint())
        && !plot->interactions().testFlag(QCP::iSelectPlottablesBeyondAxisRect))
        return hit;
    if (curve->lineStyle() == QCPCurve::lsNone && curve->scatterStyle().isNone())
        return hit;

    const Index &index = indexFor(curve);
    if (!index.monotonic || keyAxis->scaleType() != QCPAxis::stLinear
        || valueAxis->scaleType() != QCPAxis::stLinear)
        return libraryHitTest(curve, pos);

    const QCPCurveData *data = firstPoint(curve);
    const int size = index.size;
    const bool keyHorizontal = keyAxis->orientation() == Qt::Horizontal;
    const double posKeyPixel = keyHorizontal ? pos.x() : pos.y();
    const double posValuePixel = keyHorizontal ? pos.y() : pos.x();
    const double posKey = keyAxis->pixelToCoord(posKeyPixel);
    const bool withLine = curve->lineStyle() != QCPCurve::lsNone;
    const QCPVector2D target(pos);

    double bestPointSqr = std::numeric_limits<double>::max();
    double bestSqr = bestPointSqr;
    int bestIndex = -1;

    auto pixel = [&](int i) {
        return curve->coordsToPixels(data[i].key, data[i].value);
    };

    // Visits one block; returns false when the block, and every block beyond it in the same
    // direction, lies farther along the key than the nearest point found so far.
    auto visit = [&](int b) {
        const int from = b * kBlock;
        const int to = std::min(from + kBlock, size - 1);
        const double k1 = keyAxis->coordToPixel(data[from].key);
        const double k2 = keyAxis->coordToPixel(data[to].key);
        const double keyGap
            = std::max({0.0, std::min(k1, k2) - posKeyPixel, posKeyPixel - std::max(k1, k2)});
        if (keyGap * keyGap > bestPointSqr)
            return false;
        if (std::isnan(index.low[b]))
            return true;
        const double v1 = valueAxis->coordToPixel(index.low[b]);
        const double v2 = valueAxis->coordToPixel(index.high[b]);
        const double valueGap
            = std::max({0.0, std::min(v1, v2) - posValuePixel, posValuePixel - std::max(v1, v2)});
        if (keyGap * keyGap + valueGap * valueGap > bestPointSqr)
            return true;
        const int pointEnd = std::min(from + kBlock, size);
        QPointF previous = pixel(from);
        for (int i = from; i < pointEnd; ++i) {
            const QPointF current = i == from ? previous : pixel(i);
            const double d = QCPVector2D(current - pos).lengthSquared();
            if (d < bestPointSqr || (d == bestPointSqr && i < bestIndex)) {
                bestPointSqr = d;
                bestIndex = i;
            }
            if (d < bestSqr)
                bestSqr = d;
            if (withLine && i > from) {
                const double s
                    = target.distanceSquaredToLine(QCPVector2D(previous), QCPVector2D(current));
                if (s < bestSqr)
                    bestSqr = s;
            }
            previous = current;
        }
        if (withLine && pointEnd < size) {
            const double s
                = target.distanceSquaredToLine(QCPVector2D(previous), QCPVector2D(pixel(pointEnd)));
            if (s < bestSqr)
                bestSqr = s;
        }
        return true;
    };

    // The first point at or beyond the pointer's key starts the outward walk.
    const QCPCurveData *start = index.ascending
        ? std::lower_bound(data, data + size, posKey,
                           [](const QCPCurveData &d, double k) { return d.key < k; })
        : std::lower_bound(data, data + size, posKey,
                           [](const QCPCurveData &d, double k) { return d.key > k; });
    const int startBlock = std::min(int(start - data), size - 1) / kBlock;
    const int blocks = index.low.size();
    for (int b = startBlock; b < blocks && visit(b); ++b) { }
    for (int b = startBlock - 1; b >= 0 && visit(b); --b) { }

    if (bestIndex < 0)
        return hit;
    hit.index = bestIndex;
    hit.distance = std::sqrt(std::min(bestSqr, bestPointSqr));
    return hit;
}
