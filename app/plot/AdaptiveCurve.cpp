#include "plot/AdaptiveCurve.h"

#include <algorithm>
#include <cmath>

namespace {

// The thinning rule as a stream: points go in one by one, the kept ones are appended to out.
class LineThinner
{
public:
    explicit LineThinner(QVector<QPointF> *out)
        : m_out(out)
    { }

    void add(const QPointF &p)
    {
        const double x = p.x();
        const double y = p.y();
        if (std::isnan(x) || std::isnan(y)) {
            if (m_hasDropped)
                m_out->append(m_dropped);
            if (!m_out->isEmpty() && !std::isnan(m_out->constLast().x())
                && !std::isnan(m_out->constLast().y()))
                m_out->append(p);
            m_haveAnchor = false;
            m_hasDropped = false;
            return;
        }
        if (!m_haveAnchor || x > m_kx + 1 || x < m_kx - 1 || y > m_ky + 1 || y < m_ky - 1) {
            m_out->append(p);
            m_kx = x;
            m_ky = y;
            m_haveAnchor = true;
            m_hasDropped = false;
        } else {
            m_dropped = p;
            m_hasDropped = true;
        }
    }

private:
    QVector<QPointF> *m_out;
    bool m_haveAnchor = false; // false at the start and after a gap
    double m_kx = 0.0;
    double m_ky = 0.0;
    bool m_hasDropped = false; // a point was dropped since the anchor
    QPointF m_dropped;
};

// Linear coordinate-to-pixel conversion of an axis, with the library's own arithmetic so that
// the pixels are the ones the library computes.
struct AxisMap
{
    double lower, upper, size, length, origin;
    bool reversed, vertical;

    explicit AxisMap(const QCPAxis *axis)
        : lower(axis->range().lower)
        , upper(axis->range().upper)
        , size(axis->range().size())
        , length(axis->orientation() == Qt::Horizontal ? axis->axisRect()->width()
                                                       : axis->axisRect()->height())
        , origin(axis->orientation() == Qt::Horizontal ? axis->axisRect()->left()
                                                       : axis->axisRect()->bottom())
        , reversed(axis->rangeReversed())
        , vertical(axis->orientation() == Qt::Vertical)
    { }

    double operator()(double v) const
    {
        const double t = reversed ? upper - v : v - lower;
        return vertical ? origin - t / size * length : t / size * length + origin;
    }
};

// Beyond this many pixels outside the axis rect a line point is left to the library, which
// moves such points next to the rect before they reach the painter.
constexpr double kFarOutside = 1e5;

} // namespace

AdaptiveCurve::AdaptiveCurve(QCPAxis *keyAxis, QCPAxis *valueAxis)
    : QCPCurve(keyAxis, valueAxis)
{ }

AdaptiveCurve::~AdaptiveCurve() = default;

QVector<QPointF> AdaptiveCurve::thinLinePoints(const QVector<QPointF> &lines) const
{
    if (!m_thinning || lines.size() <= 2)
        return lines;
    QVector<QPointF> result;
    result.reserve(lines.size());
    LineThinner thinner(&result);
    for (const QPointF &p : lines)
        thinner.add(p);
    return result;
}

void AdaptiveCurve::drawCurveLine(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    QCPCurve::drawCurveLine(painter, thinLinePoints(lines));
}

// The thinned line of the data range inside the visible key range, plus the crossings of the
// visible key bounds. False when this curve's data or axes do not allow the shortcut.
bool AdaptiveCurve::thinnedVisibleLine(const QCPDataRange &range, QVector<QPointF> *out) const
{
    const QCPCurveData *data = &*mDataContainer->constBegin();
    const int begin = std::max(range.begin(), 0);
    const int end = std::min(range.end(), mDataContainer->size());
    out->clear();
    if (end - begin <= 0)
        return true;

    const AxisMap keyMap(mKeyAxis.data());
    const AxisMap valueMap(mValueAxis.data());
    const QCPRange keyRange = mKeyAxis->range();
    const QRect rect = mKeyAxis->axisRect()->rect();
    const double valueLow = rect.top() - kFarOutside;
    const double valueHigh = rect.bottom() + kFarOutside;
    auto keyLess = [](const QCPCurveData &d, double k) {
        return d.key < k;
    };
    // The first sample at or after the lower bound, and the first after the upper bound.
    int first = int(std::lower_bound(data + begin, data + end, keyRange.lower, keyLess) - data);
    int last = int(std::upper_bound(data + begin, data + end, keyRange.upper,
                                    [](double k, const QCPCurveData &d) { return k < d.key; })
                   - data);

    if (end - begin <= 2) {
        first = begin;
        last = end;
    }
    out->reserve(std::min(last - first + 2, 4 * (rect.width() + rect.height()) + 16));
    LineThinner thinner(out);
    QVector<QPointF> few; // for two points or fewer, which are stroked as they are
    const bool direct = end - begin <= 2 || !m_thinning;
    auto put = [&](double key, double value) {
        const double y = valueMap(value);
        if (y < valueLow || y > valueHigh)
            return false;
        const QPointF p(keyMap(key), y);
        if (direct)
            few.append(p);
        else
            thinner.add(p);
        return true;
    };
    auto crossing = [&](int outside, int inside, double bound) {
        const QCPCurveData &a = data[outside];
        const QCPCurveData &b = data[inside];
        const double value = a.value + (b.value - a.value) * (bound - a.key) / (b.key - a.key);
        return put(bound, value);
    };

    if (first > begin && first < end && !crossing(first - 1, first, keyRange.lower))
        return false;
    for (int i = first; i < last; ++i) {
        if (!put(data[i].key, data[i].value))
            return false;
    }
    if (last < end && last > begin && !crossing(last, last - 1, keyRange.upper))
        return false;
    if (direct)
        *out = few;
    return true;
}

void AdaptiveCurve::draw(QCPPainter *painter)
{
    const bool simple = m_fastDrawing && m_thinning && mKeyAxis && mValueAxis
        && mScatterStyle.isNone() && (mBrush.style() == Qt::NoBrush || mBrush.color().alpha() == 0)
        && mKeyAxis->orientation() == Qt::Horizontal && mKeyAxis->scaleType() == QCPAxis::stLinear
        && mValueAxis->scaleType() == QCPAxis::stLinear && mKeyAxis->range().size() > 0
        && mValueAxis->range().size() > 0;
    if (!simple || mDataContainer->isEmpty()) {
        QCPCurve::draw(painter);
        return;
    }

    // The shortcut needs keys that never fall; a NaN key fails the test too.
    const QCPCurveData *data = &*mDataContainer->constBegin();
    const int size = mDataContainer->size();
    bool rising = true;
    for (int i = 1; i < size; ++i)
        rising &= data[i].key >= data[i - 1].key;
    if (!rising || std::isnan(data[0].key)) {
        QCPCurve::draw(painter);
        return;
    }

    // As the library draws: unselected segments reach over to the neighbouring selected points.
    QList<QCPDataRange> selectedSegments, unselectedSegments, allSegments;
    getDataSegments(selectedSegments, unselectedSegments);
    allSegments << unselectedSegments << selectedSegments;
    QVector<QVector<QPointF>> lines(allSegments.size());
    for (int i = 0; i < allSegments.size(); ++i) {
        const bool selected = i >= unselectedSegments.size();
        const QCPDataRange range = selected ? allSegments.at(i) : allSegments.at(i).adjusted(-1, 1);
        if (!thinnedVisibleLine(range, &lines[i])) {
            QCPCurve::draw(painter);
            return;
        }
    }
    if (mLineStyle != lsNone) {
        for (int i = 0; i < allSegments.size(); ++i) {
            const bool selected = i >= unselectedSegments.size();
            painter->setPen(selected && mSelectionDecorator ? mSelectionDecorator->pen() : mPen);
            painter->setBrush(Qt::NoBrush);
            // Already thinned: stroke through the library's line drawing.
            QCPCurve::drawCurveLine(painter, lines[i]);
        }
    }
    if (mSelectionDecorator)
        mSelectionDecorator->drawDecoration(painter, selection());
}
