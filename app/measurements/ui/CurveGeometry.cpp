#include "measurements/ui/CurveGeometry.h"

#include "plot/Plot.h"

#include <algorithm>
#include <limits>

namespace {

const QCPCurveData *pointAt(QCPCurve *curve, int index)
{
    if (!curve || index < 0 || index >= curve->data()->size())
        return nullptr;
    return &*(curve->data()->constBegin() + index);
}

} // namespace

double curveKeyAt(QCPCurve *curve, int index)
{
    const QCPCurveData *p = pointAt(curve, index);
    return p ? p->key : 0.0;
}

double curveValueAt(QCPCurve *curve, int index)
{
    const QCPCurveData *p = pointAt(curve, index);
    return p ? p->value : 0.0;
}

QPointF CurvePointRef::point() const
{
    if (curve.isLost())
        return QPointF(std::numeric_limits<double>::quiet_NaN(),
                       std::numeric_limits<double>::quiet_NaN());
    const QCPCurveData *p = pointAt(curve, index);
    return p ? QPointF(p->key, p->value) : QPointF(0.0, 0.0);
}

const QCPCurveData *CurveRange::first() const
{
    return isEmpty() ? nullptr : curve->data()->constBegin() + begin;
}

const QCPCurveData *CurveRange::last() const
{
    return isEmpty() ? nullptr : curve->data()->constBegin() + end;
}

QVector<double> rangeFingerprint(const CurveRange &range)
{
    const QCPCurveData *points[3]
        = {range.first(), range.first() + (range.size() - 1) / 2, range.last() - 1};
    QVector<double> values;
    for (const QCPCurveData *p : points) {
        values.append(p->key);
        values.append(p->value);
    }
    return values;
}

CurveRange curveRange(QCPCurve *curve, quint64 begin, quint64 end)
{
    CurveRange range;
    range.curve = curve;
    if (!curve)
        return range;
    const quint64 size = quint64(curve->data()->size());
    range.begin = int(std::min(begin, size));
    range.end = int(std::min(end, size));
    return range;
}

int nearestDataIndex(QCPCurve *curve, const QPoint &pixel)
{
    if (!curve || curve->data()->isEmpty())
        return -1;
    const double px = pixel.x();
    const double py = pixel.y();
    double best = std::numeric_limits<double>::max();
    int bestIndex = -1;
    int index = 0;
    for (auto it = curve->data()->constBegin(); it != curve->data()->constEnd(); ++it, ++index) {
        double x = 0.0;
        double y = 0.0;
        curve->coordsToPixels(it->key, it->value, x, y);
        const double d = (x - px) * (x - px) + (y - py) * (y - py);
        if (d < best) {
            best = d;
            bestIndex = index;
        }
    }
    return bestIndex;
}

QCPCurve *nearestPlottable(Plot *plot, int count, const QPoint &pixel)
{
    if (!plot)
        return nullptr;
    const QList<QCPCurve *> curves = plot->curves();
    const int n = std::min(count, int(curves.size()));
    QCPCurve *best = nullptr;
    double bestDistance = std::numeric_limits<double>::max();
    for (int i = 0; i < n; ++i) {
        QCPCurve *curve = curves.at(i);
        const int index = nearestDataIndex(curve, pixel);
        if (index < 0)
            continue;
        const int clamped = std::clamp(index, 0, curve->data()->size() - 1);
        const QCPCurveData &p = *(curve->data()->constBegin() + clamped);
        const double x = plot->xAxis->coordToPixel(p.key) - pixel.x();
        const double y = plot->yAxis->coordToPixel(p.value) - pixel.y();
        const double d = x * x + y * y;
        if (d < bestDistance) {
            best = curve;
            bestDistance = d;
        }
    }
    return best;
}
