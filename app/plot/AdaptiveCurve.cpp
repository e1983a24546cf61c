#include "plot/AdaptiveCurve.h"

#include "plot/Plot.h"

#include <algorithm>
#include <cmath>
#include <limits>

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

    // Continues after points that were appended to out by someone else: p is the new anchor.
    void restartAt(const QPointF &p)
    {
        m_kx = p.x();
        m_ky = p.y();
        m_haveAnchor = true;
        m_hasDropped = false;
    }

private:
    QVector<QPointF> *m_out;
    bool m_haveAnchor = false; // false at the start and after a gap
    double m_kx = 0.0;
    double m_ky = 0.0;
    bool m_hasDropped = false; // a point was dropped since the anchor
    QPointF m_dropped;
};

// The line as it is stroked, as a stream. Consecutive points in one pixel column (the same
// integer part of x) form a run. A run of more than kFewInColumn points is stroked as its first,
// lowest, highest and last point in the order they came, each with its neighbours in the run:
// the path still enters the column where the full one enters, reaches the same lowest and
// highest point and leaves where it leaves, so with a one-pixel pen it sets the pixels that
// stroking every point sets. The neighbours are there because the stroker places the first
// pixel of a segment by the direction and last pixel of the segment before it; with them the
// segments at the column's ends and extremes follow the same segments as in the full line. A
// rough trace at full view then costs at most ten points per column however many samples fall
// into it. Shorter runs go through the thinning rule. A NaN point ends the run and is a gap, as
// for the thinning.
class LineReducer
{
public:
    explicit LineReducer(QVector<QPointF> *out)
        : m_out(out)
        , m_thinner(out)
    { }

    void add(const QPointF &p)
    {
        const double x = p.x();
        const double y = p.y();
        if (x >= m_columnLow && x < m_columnHigh && !std::isnan(y)) {
            if (m_count < kFewInColumn)
                m_run[m_count] = p;
            m_lowest.follow(p);
            m_highest.follow(p);
            if (y < m_lowest.at.y())
                m_lowest.set(m_count, m_last, p);
            if (y > m_highest.at.y())
                m_highest.set(m_count, m_last, p);
            m_beforeLast = m_last;
            m_last = p;
            ++m_count;
            return;
        }
        finish();
        if (std::isnan(x) || std::isnan(y)) {
            m_thinner.add(p);
            return;
        }
        m_columnLow = std::floor(x);
        m_columnHigh = m_columnLow + 1;
        m_run[0] = m_last = p;
        m_lowest.set(0, p, p);
        m_highest.set(0, p, p);
        m_count = 1;
    }

    // The same as adding the points point(0) to point(n - 1), given by their y (none of them NaN)
    // and a function that makes a point from its number, when all of them lie in the column of
    // the open run. Only the points the run keeps are made.
    template<class MakePoint>
    void addToRun(const double *ys, int n, const MakePoint &point)
    {
        if (n <= 0)
            return;
        for (int k = 0; k < n && m_count + k < kFewInColumn; ++k)
            m_run[m_count + k] = point(k);
        int lowest = -1;
        int highest = -1;
        double low = m_lowest.at.y();
        double high = m_highest.at.y();
        for (int k = 0; k < n; ++k) {
            const double y = ys[k];
            if (y < low) {
                low = y;
                lowest = k;
            }
            if (y > high) {
                high = y;
                highest = k;
            }
        }
        extendRun(n, lowest, highest, point);
    }

    // The same as addToRun when the caller knows the run's extremes: the lowest y of the n
    // points and the first of them that has it, and the same for the highest y. Only the points
    // the run keeps are made.
    template<class MakePoint>
    void addKnownRun(int n, double lowestY, int lowestK, double highestY, int highestK,
                     const MakePoint &point)
    {
        if (n <= 0)
            return;
        for (int k = 0; k < n && m_count + k < kFewInColumn; ++k)
            m_run[m_count + k] = point(k);
        extendRun(n, lowestY < m_lowest.at.y() ? lowestK : -1,
                  highestY > m_highest.at.y() ? highestK : -1, point);
    }

private:
    template<class MakePoint>
    void extendRun(int n, int lowest, int highest, const MakePoint &point)
    {
        m_lowest.extendBy(lowest, m_count, n, m_last, point);
        m_highest.extendBy(highest, m_count, n, m_last, point);
        m_beforeLast = n >= 2 ? point(n - 2) : m_last;
        m_last = point(n - 1);
        m_count += n;
    }

public:
    // Hands on the open run; called after the last point.
    void finish()
    {
        if (m_count > kFewInColumn) {
            // Run indices with their points, in run order, each index once.
            Kept kept;
            kept.add(0, m_run[0]);
            kept.add(1, m_run[1]);
            m_lowest.keep(&kept);
            m_highest.keep(&kept);
            kept.add(m_count - 2, m_beforeLast);
            kept.add(m_count - 1, m_last);
            kept.appendTo(m_out);
            m_thinner.restartAt(m_last);
        } else {
            for (int i = 0; i < m_count; ++i)
                m_thinner.add(m_run[i]);
        }
        m_count = 0;
        m_columnLow = m_columnHigh = kNoColumn;
    }

private:
    static constexpr int kFewInColumn = 10;
    static constexpr double kNoColumn = std::numeric_limits<double>::infinity();

    class Kept
    {
    public:
        void add(int index, const QPointF &p)
        {
            int i = m_size++;
            for (; i > 0 && m_index[i - 1] > index; --i) {
                m_index[i] = m_index[i - 1];
                m_point[i] = m_point[i - 1];
            }
            m_index[i] = index;
            m_point[i] = p;
        }
        void appendTo(QVector<QPointF> *out) const
        {
            for (int i = 0; i < m_size; ++i) {
                if (i == 0 || m_index[i] != m_index[i - 1])
                    out->append(m_point[i]);
            }
        }

    private:
        int m_size = 0;
        int m_index[kFewInColumn];
        QPointF m_point[kFewInColumn];
    };

    // The first point of the run with the lowest (or highest) y, and its neighbours.
    struct Extreme
    {
        int index = 0;
        QPointF before, at, after;
        bool afterPending = false;

        void set(int i, const QPointF &previous, const QPointF &p)
        {
            index = i;
            before = previous;
            at = p;
            afterPending = true;
        }
        void follow(const QPointF &p)
        {
            if (afterPending) {
                after = p;
                afterPending = false;
            }
        }
        // The run of `count` points grew by n points, of which the k-th (k < 0: none) is the new
        // extreme; `last` is the run's last point before them.
        template<class MakePoint>
        void extendBy(int k, int count, int n, const QPointF &last, const MakePoint &point)
        {
            if (k < 0) {
                follow(point(0));
                return;
            }
            set(count + k, k == 0 ? last : point(k - 1), point(k));
            if (k + 1 < n)
                follow(point(k + 1));
        }
        void keep(Kept *kept) const
        {
            if (index > 0)
                kept->add(index - 1, before);
            kept->add(index, at);
            if (!afterPending)
                kept->add(index + 1, after);
        }
    };

    QVector<QPointF> *m_out;
    LineThinner m_thinner;
    double m_columnLow = kNoColumn; // the open run's column is [low, high)
    double m_columnHigh = kNoColumn;
    int m_count = 0;
    QPointF m_run[kFewInColumn]; // the run's first points
    Extreme m_lowest, m_highest;
    QPointF m_beforeLast, m_last;
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

QVector<QPointF> AdaptiveCurve::strokedLinePoints(const QVector<QPointF> &lines) const
{
    if (!m_thinning || lines.size() <= 2)
        return lines;
    QVector<QPointF> result;
    result.reserve(lines.size());
    LineReducer reducer(&result);
    for (const QPointF &p : lines)
        reducer.add(p);
    reducer.finish();
    return result;
}

void AdaptiveCurve::drawCurveLine(QCPPainter *painter, const QVector<QPointF> &lines) const
{
    QCPCurve::drawCurveLine(painter, strokedLinePoints(lines));
}

namespace {

void summarizePoints(const QCPCurveData *data, int size, AdaptiveCurve::Summary *s)
{
    constexpr int B = AdaptiveCurve::kSummaryBlock;
    s->data = data;
    s->size = size;
    bool rising = size > 0 && !std::isnan(data[0].key);
    for (int i = 1; i < size; ++i)
        rising &= data[i].key >= data[i - 1].key;
    s->rising = rising;
    const int blocks = (size + B - 1) / B;
    s->low.resize(blocks);
    s->high.resize(blocks);
    s->gap.resize(blocks);
    for (int b = 0; b < blocks; ++b) {
        const int begin = b * B;
        const int end = std::min(size, begin + B);
        double low = data[begin].value;
        double high = low;
        bool gap = false;
        for (int i = begin; i < end; ++i) {
            const double v = data[i].value;
            gap |= std::isnan(v);
            low = std::min(low, v);
            high = std::max(high, v);
        }
        s->low[b] = low;
        s->high[b] = high;
        s->gap[b] = gap;
    }
}

} // namespace

AdaptiveCurve::Summary AdaptiveCurve::summarize(const QVector<QCPCurveData> &points)
{
    Summary s;
    summarizePoints(points.constData(), points.size(), &s);
    return s;
}

void AdaptiveCurve::adoptSummary(Summary summary, quint64 revision)
{
    summary.revision = revision;
    m_summary = std::move(summary);
    m_dataRevision = revision;
}

const AdaptiveCurve::Summary *AdaptiveCurve::summary() const
{
    if (m_dataRevision == 0 || mDataContainer->isEmpty())
        return nullptr;
    const QCPCurveData *data = &*mDataContainer->constBegin();
    const int size = mDataContainer->size();
    Summary &s = m_summary;
    // A summary made for other points (or handed over for points that then moved) is made anew.
    if (s.revision == m_dataRevision && s.data == data && s.size == size)
        return &s;
    s.revision = m_dataRevision;
    summarizePoints(data, size, &s);
    return &s;
}

// The stroked line of the data range inside the visible key range, plus the crossings of the
// visible key bounds. False when this curve's data or axes do not allow the shortcut.
bool AdaptiveCurve::strokedVisibleLine(const QCPDataRange &range, QVector<QPointF> *out) const
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
    LineReducer reducer(out);
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
            reducer.add(p);
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
    if (direct) {
        for (int i = first; i < last; ++i) {
            if (!put(data[i].key, data[i].value))
                return false;
        }
    } else {
        // Column by column: the end of a column's samples is found by a galloping search on
        // the keys (the pixel of a key moves one way as the key rises: right, or left on a
        // reversed axis, so once a sample leaves the column all later ones are outside it too),
        // and a column crowded with samples is handed to the reducer whole, its points made only
        // where they are kept.
        QVector<double> ys;
        const Summary *known = summary();
        constexpr int B = kSummaryBlock;
        // A crowded column [from, to) whose first point lies at pixel x, stroked from the
        // summary: the values' extremes come from the blocks, the pixels of the run's extremes
        // are those of the extreme values (the conversion never reverses an order), and their
        // first points are looked for only in the blocks that hold them. The reducer gets what
        // it would get point by point. False, with nothing done, when a value is NaN or far
        // outside the plot: the column then takes the plain way.
        auto knownColumn = [&](int from, int to, double x) {
            const double y0 = valueMap(data[from].value);
            if (!(y0 >= valueLow && y0 <= valueHigh))
                return false;
            const int next = from + 1;
            const int headEnd = std::min(to, (next + B - 1) / B * B);
            const int tailBegin = std::max(headEnd, to / B * B);
            double vLow = std::numeric_limits<double>::infinity();
            double vHigh = -vLow;
            const auto scan = [&](int a, int b) {
                for (int k = a; k < b; ++k) {
                    const double v = data[k].value;
                    if (std::isnan(v))
                        return false;
                    vLow = std::min(vLow, v);
                    vHigh = std::max(vHigh, v);
                }
                return true;
            };
            if (!scan(next, headEnd))
                return false;
            for (int b = headEnd / B; b < tailBegin / B; ++b) {
                if (known->gap.at(b))
                    return false;
                vLow = std::min(vLow, known->low.at(b));
                vHigh = std::max(vHigh, known->high.at(b));
            }
            if (!scan(tailBegin, to))
                return false;
            const double pa = valueMap(vLow);
            const double pb = valueMap(vHigh);
            const double lowestY = std::min(pa, pb);
            const double highestY = std::max(pa, pb);
            if (!(lowestY >= valueLow && highestY <= valueHigh))
                return false;
            // The first point of the run at the pixel y that is the run's lowest (or highest).
            const auto firstAt = [&](double target, bool lowest) {
                for (int k = next; k < headEnd; ++k) {
                    if (valueMap(data[k].value) == target)
                        return k;
                }
                for (int b = headEnd / B; b < tailBegin / B; ++b) {
                    const double ya = valueMap(known->low.at(b));
                    const double yb = valueMap(known->high.at(b));
                    if ((lowest ? std::min(ya, yb) : std::max(ya, yb)) != target)
                        continue;
                    for (int k = b * B; k < (b + 1) * B; ++k) {
                        if (valueMap(data[k].value) == target)
                            return k;
                    }
                }
                for (int k = tailBegin; k < to; ++k) {
                    if (valueMap(data[k].value) == target)
                        return k;
                }
                return -1;
            };
            const int lowestAt = firstAt(lowestY, true);
            const int highestAt = firstAt(highestY, false);
            if (lowestAt < 0 || highestAt < 0)
                return false;
            reducer.add(QPointF(x, y0));
            reducer.addKnownRun(to - next, lowestY, lowestAt - next, highestY, highestAt - next,
                                [&](int k) {
                                    const QCPCurveData &d = data[next + k];
                                    return QPointF(keyMap(d.key), valueMap(d.value));
                                });
            return true;
        };
        int i = first;
        while (i < last) {
            const double x = keyMap(data[i].key);
            const double columnLow = std::floor(x);
            const double columnHigh = columnLow + 1;
            auto outside = [&](int k) {
                const double xk = keyMap(data[k].key);
                return xk < columnLow || xk >= columnHigh;
            };
            int step = 1;
            int inside = i; // the last sample known to lie in the column
            int beyond = last; // the first sample known to lie beyond it, or last
            while (inside + step < last) {
                if (outside(inside + step)) {
                    beyond = inside + step;
                    break;
                }
                inside += step;
                step *= 2;
            }
            while (beyond - inside > 1) {
                const int middle = inside + (beyond - inside) / 2;
                if (outside(middle))
                    beyond = middle;
                else
                    inside = middle;
            }
            const int end = beyond;
            if (known && end - i > 2 * B && knownColumn(i, end, x)) {
                i = end;
                continue;
            }
            bool gap = false;
            if (end - i > 2) {
                // Two plain passes (the pixels, then one test of them all) instead of a test
                // after every pixel: the compiler makes both a few instructions per sample.
                const int n = end - i;
                ys.resize(n);
                double *y = ys.data();
                const QCPCurveData *samples = data + i;
                for (int k = 0; k < n; ++k)
                    y[k] = valueMap(samples[k].value);
                bool allInside = true;
                for (int k = 0; k < n; ++k)
                    allInside &= (y[k] >= valueLow) & (y[k] <= valueHigh);
                if (!allInside) {
                    // A NaN fails the test too: it is a gap, which the reducer takes point by
                    // point.
                    for (int k = 0; k < n; ++k) {
                        if (y[k] < valueLow || y[k] > valueHigh)
                            return false;
                        gap |= std::isnan(y[k]);
                    }
                }
            }
            if (end - i <= 2 || gap) {
                for (int k = i; k < end; ++k) {
                    if (!put(data[k].key, data[k].value))
                        return false;
                }
            } else {
                // The first sample opens the run (or joins the one the crossing opened), the
                // others join it.
                reducer.add(QPointF(x, ys[0]));
                const int from = i + 1;
                reducer.addToRun(ys.constData() + 1, end - from, [&](int k) {
                    return QPointF(keyMap(data[from + k].key), ys[k + 1]);
                });
            }
            i = end;
        }
    }
    if (last < end && last > begin && !crossing(last, last - 1, keyRange.upper))
        return false;
    if (direct)
        *out = few;
    else
        reducer.finish();
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
    bool rising = true;
    if (const Summary *known = summary()) {
        rising = known->rising;
    } else {
        const QCPCurveData *data = &*mDataContainer->constBegin();
        const int size = mDataContainer->size();
        for (int i = 1; i < size; ++i)
            rising &= data[i].key >= data[i - 1].key;
        rising &= !std::isnan(data[0].key);
    }
    if (!rising) {
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
        if (!strokedVisibleLine(range, &lines[i])) {
            QCPCurve::draw(painter);
            return;
        }
    }
    if (mLineStyle != lsNone) {
        for (int i = 0; i < allSegments.size(); ++i) {
            const bool selected = i >= unselectedSegments.size();
            painter->setPen(selected && mSelectionDecorator ? mSelectionDecorator->pen() : mPen);
            painter->setBrush(Qt::NoBrush);
            // Already reduced: stroke through the library's line drawing.
            QCPCurve::drawCurveLine(painter, lines[i]);
        }
    }
    if (mSelectionDecorator)
        mSelectionDecorator->drawDecoration(painter, selection());
}

double AdaptiveCurve::selectTest(const QPointF &pos, bool onlySelectable, QVariant *details) const
{
    if (onlySelectable && mSelectable == QCP::stNone)
        return -1.0;
    auto *plot = qobject_cast<Plot *>(mParentPlot);
    if (!plot)
        return QCPCurve::selectTest(pos, onlySelectable, details);
    const CurveHitTester::Hit hit = plot->curveHitTest(this, pos);
    if (hit.distance < 0.0)
        return -1.0;
    if (details)
        details->setValue(QCPDataSelection(QCPDataRange(hit.index, hit.index + 1)));
    return hit.distance;
}
