#include "measurements/ui/DxfPlotItems.h"

#include "core/Constants.h"
#include "plot/Plot.h"

#include <algorithm>
#include <cmath>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The width of a run's band (pixels): a smooth curve is stroked within half a pixel.
constexpr double kBand = 0.5;

// Plot coordinates to pixels of two axes: a multiply and an add per coordinate on linear axes,
// the axes' own conversion on any other.
class PixelMap
{
public:
    PixelMap(QCPAxis *x, QCPAxis *y)
        : m_x(x)
        , m_y(y)
        , m_ox(x->range().lower)
        , m_oy(y->range().lower)
        , m_px(x->coordToPixel(m_ox))
        , m_py(y->coordToPixel(m_oy))
        , m_sx((x->coordToPixel(x->range().upper) - m_px) / x->range().size())
        , m_sy((y->coordToPixel(y->range().upper) - m_py) / y->range().size())
    {
        m_linear = x->scaleType() == QCPAxis::stLinear && y->scaleType() == QCPAxis::stLinear
            && std::isfinite(m_sx) && std::isfinite(m_sy) && m_sx != 0.0 && m_sy != 0.0;
    }

    QPointF operator()(const QPointF &p) const
    {
        if (m_linear)
            return QPointF(m_px + (p.x() - m_ox) * m_sx, m_py + (p.y() - m_oy) * m_sy);
        return QPointF(m_x->coordToPixel(p.x()), m_y->coordToPixel(p.y()));
    }
    bool linear() const { return m_linear; }
    // Pixels per plot unit, signed (negative on the usual upward y axis).
    double sx() const { return m_sx; }
    double sy() const { return m_sy; }

private:
    QCPAxis *m_x;
    QCPAxis *m_y;
    double m_ox;
    double m_oy;
    double m_px;
    double m_py;
    double m_sx;
    double m_sy;
    bool m_linear = false;
};

// Whether two normalised rectangles share a point; unlike QRectF::intersects, a rectangle of no
// width or height (the bounds of a horizontal segment) counts.
bool overlaps(const QRectF &a, const QRectF &b)
{
    return a.left() <= b.right() && b.left() <= a.right() && a.top() <= b.bottom()
        && b.top() <= a.bottom();
}

// Cuts the segment from a to b to the part within r; false when none of it is.
bool clipToRect(QPointF &a, QPointF &b, const QRectF &r)
{
    const auto inside = [&r](const QPointF &p) {
        return p.x() >= r.left() && p.x() <= r.right() && p.y() >= r.top() && p.y() <= r.bottom();
    };
    if (inside(a) && inside(b))
        return true;
    if (!std::isfinite(a.x()) || !std::isfinite(a.y()) || !std::isfinite(b.x())
        || !std::isfinite(b.y()))
        return false;
    const QPointF d = b - a;
    const double p[4] = {-d.x(), d.x(), -d.y(), d.y()};
    const double q[4] = {a.x() - r.left(), r.right() - a.x(), a.y() - r.top(), r.bottom() - a.y()};
    double t0 = 0.0;
    double t1 = 1.0;
    for (int k = 0; k < 4; ++k) {
        if (p[k] == 0.0) {
            if (q[k] < 0.0)
                return false;
            continue;
        }
        const double t = q[k] / p[k];
        if (p[k] < 0.0) {
            if (t > t1)
                return false;
            t0 = std::max(t0, t);
        } else {
            if (t < t0)
                return false;
            t1 = std::min(t1, t);
        }
    }
    const QPointF from = a;
    if (t1 < 1.0)
        b = from + t1 * d;
    if (t0 > 0.0)
        a = from + t0 * d;
    return true;
}

// Strokes segments given in pixels with few points and few painter calls.
//
// Segments that meet (the next starts where the last ended) make one path. Along a path, a run
// of points whose box stays less than half a pixel wide (or high) is stroked as its first point,
// its lowest and highest (leftmost and rightmost) points and its last point, in path order: a
// cosmetic pen covers the same pixel column (row) with them as with the whole run, and a smooth
// curve is stroked within half a pixel. A path that never leaves one pixel is a dot, one per
// pixel. Two-point paths are stroked together as lines.
class Stroker
{
public:
    Stroker(QCPPainter *painter, const QRectF &clip)
        : m_painter(painter)
        , m_clip(clip)
    { }

    void segment(QPointF a, QPointF b)
    {
        if (!clipToRect(a, b, m_clip))
            return;
        if (!m_open || std::abs(a.x() - m_end.x()) + std::abs(a.y() - m_end.y()) > kJoin)
            moveTo(a);
        lineTo(b);
    }

    void finish()
    {
        endPath();
        strokeLines();
        if (!m_dots.isEmpty()) {
            m_painter->drawPoints(m_dots.constData(), m_dots.size());
            m_points += m_dots.size();
            m_dots.clear();
        }
    }

    int strokedPoints() const { return m_points; }

private:
    // Ends closer than this (pixels, summed over both directions) meet.
    static constexpr double kJoin = 0.01;
    // Points and lines stroked per painter call at most.
    static constexpr int kChunk = 4096;

    struct Extreme
    {
        QPointF point;
        int index = 0;
    };

    void moveTo(const QPointF &p)
    {
        endPath();
        m_open = true;
        m_path.clear();
        m_path.append(p);
        m_putAfterStart = false;
        startRun(p);
    }

    void startRun(const QPointF &p)
    {
        m_end = p;
        m_count = 0;
        m_x0 = m_x1 = p.x();
        m_y0 = m_y1 = p.y();
    }

    bool fits(const QPointF &p) const
    {
        return std::max(m_x1, p.x()) - std::min(m_x0, p.x()) < kBand
            || std::max(m_y1, p.y()) - std::min(m_y0, p.y()) < kBand;
    }

    void lineTo(const QPointF &p)
    {
        if (fits(p)) {
            take(p);
            return;
        }
        if (m_count > 0) {
            flushRun();
            if (fits(p)) {
                take(p);
                return;
            }
        }
        put(p);
        startRun(p);
    }

    // Adds p to the run.
    void take(const QPointF &p)
    {
        ++m_count;
        m_x0 = std::min(m_x0, p.x());
        m_x1 = std::max(m_x1, p.x());
        m_y0 = std::min(m_y0, p.y());
        m_y1 = std::max(m_y1, p.y());
        m_end = p;
        if (m_count == 1) {
            m_minX = m_maxX = m_minY = m_maxY = Extreme {p, 1};
            return;
        }
        if (p.x() < m_minX.point.x())
            m_minX = Extreme {p, m_count};
        if (p.x() > m_maxX.point.x())
            m_maxX = Extreme {p, m_count};
        if (p.y() < m_minY.point.y())
            m_minY = Extreme {p, m_count};
        if (p.y() > m_maxY.point.y())
            m_maxY = Extreme {p, m_count};
    }

    // Puts the run's points on the path; its last point starts the next run.
    void flushRun()
    {
        if (m_count == 0)
            return;
        const bool column = m_x1 - m_x0 < kBand;
        const bool row = m_y1 - m_y0 < kBand;
        if (!(column && row)) {
            Extreme a = column ? m_minY : m_minX;
            Extreme b = column ? m_maxY : m_maxX;
            if (b.index < a.index)
                std::swap(a, b);
            if (a.index < m_count)
                put(a.point);
            if (b.index < m_count && b.index != a.index)
                put(b.point);
        }
        const QPointF last = m_end;
        put(last);
        startRun(last);
    }

    void put(const QPointF &p)
    {
        m_path.append(p);
        m_putAfterStart = true;
        if (m_path.size() >= kChunk) {
            strokePath();
            m_path.clear();
            m_path.append(p);
        }
    }

    void strokePath()
    {
        if (m_path.size() == 2) {
            m_lines.append(QLineF(m_path.at(0), m_path.at(1)));
            if (m_lines.size() >= kChunk)
                strokeLines();
        } else if (m_path.size() > 2) {
            m_painter->drawPolyline(m_path.constData(), m_path.size());
            m_points += m_path.size();
        }
    }

    void strokeLines()
    {
        if (m_lines.isEmpty())
            return;
        m_painter->drawLines(m_lines.constData(), m_lines.size());
        m_points += 2 * m_lines.size();
        m_lines.clear();
    }

    void endPath()
    {
        if (!m_open)
            return;
        m_open = false;
        if (!m_putAfterStart && m_x1 - m_x0 < 1.0 && m_y1 - m_y0 < 1.0) {
            dot(m_path.first());
            return;
        }
        flushRun();
        strokePath();
    }

    void dot(const QPointF &p)
    {
        const int width = int(std::ceil(m_clip.width())) + 1;
        const int height = int(std::ceil(m_clip.height())) + 1;
        const int ix = int(p.x() - m_clip.left());
        const int iy = int(p.y() - m_clip.top());
        if (ix < 0 || iy < 0 || ix >= width || iy >= height)
            return;
        if (m_dotPixels.empty())
            m_dotPixels.assign(std::size_t(width) * std::size_t(height), false);
        const std::size_t at = std::size_t(iy) * std::size_t(width) + std::size_t(ix);
        if (m_dotPixels[at])
            return;
        m_dotPixels[at] = true;
        m_dots.append(p);
    }

    QCPPainter *m_painter;
    QRectF m_clip;
    bool m_open = false;
    bool m_putAfterStart = false;
    QVector<QPointF> m_path;
    QVector<QLineF> m_lines;
    QVector<QPointF> m_dots;
    std::vector<bool> m_dotPixels;
    // The run: its point count after its first point, box, last point and extremes.
    int m_count = 0;
    double m_x0 = 0;
    double m_x1 = 0;
    double m_y0 = 0;
    double m_y1 = 0;
    QPointF m_end;
    Extreme m_minX;
    Extreme m_maxX;
    Extreme m_minY;
    Extreme m_maxY;
    int m_points = 0;
};

// Strokes an arc or a circle as chords within a tenth of a pixel of it; one smaller than a pixel
// as the chord between its ends (across a circle). An arc much larger than the clip rectangle is
// stroked only over the angles where it can cross the rectangle.
void strokeArc(Stroker &stroker, const PixelMap &map, const DxfEntity &e, const QRectF &clip)
{
    const double start = e.fullCircle ? 0.0 : e.startAngle * kPi / 180.0;
    const double span = e.fullCircle ? 2.0 * kPi : e.spanAngle * kPi / 180.0;
    const auto at = [&map, &e](double t) {
        return map(e.centre + e.radius * QPointF(std::cos(t), std::sin(t)));
    };
    const QPointF c = map(e.centre);
    const double rx = std::abs(map(e.centre + QPointF(e.radius, 0.0)).x() - c.x());
    const double ry = std::abs(map(e.centre + QPointF(0.0, e.radius)).y() - c.y());
    const double r = std::max(rx, ry);
    if (!(r >= 1.0)) {
        if (e.fullCircle)
            stroker.segment(c - QPointF(rx, 0.0), c + QPointF(rx, 0.0));
        else
            stroker.segment(at(start), at(start + span));
        return;
    }

    double from[2] = {start, 0.0};
    double to[2] = {start + span, 0.0};
    int pieces = 1;
    const double diagonal = std::hypot(clip.width(), clip.height());
    if (map.linear() && std::min(rx, ry) > 2.0 * diagonal) {
        if (clip.contains(c))
            return; // the whole rectangle lies well inside the circle
        // The angles of the rectangle's corners seen from the centre, on the circle the arc is
        // drawn as before it is stretched to pixels; the part of the arc in the rectangle lies
        // between the smallest and the largest (less than half a turn apart).
        const QPointF corners[4]
            = {clip.topLeft(), clip.topRight(), clip.bottomLeft(), clip.bottomRight()};
        const auto angleOf = [&](const QPointF &q) {
            return std::atan2((q.y() - c.y()) / (map.sy() * e.radius),
                              (q.x() - c.x()) / (map.sx() * e.radius));
        };
        const double first = angleOf(corners[0]);
        double low = 0.0;
        double high = 0.0;
        for (int k = 1; k < 4; ++k) {
            const double d = std::remainder(angleOf(corners[k]) - first, 2.0 * kPi);
            low = std::min(low, d);
            high = std::max(high, d);
        }
        // The corners' range, turned to start at or after the arc's start.
        const double lo
            = start + std::fmod(std::fmod(first + low - start, 2.0 * kPi) + 2.0 * kPi, 2.0 * kPi);
        const double width = high - low;
        pieces = 0;
        if (lo < start + span) {
            from[pieces] = lo;
            to[pieces] = std::min(lo + width, start + span);
            ++pieces;
        }
        if (lo - 2.0 * kPi + width > start) {
            from[pieces] = start;
            to[pieces] = std::min(lo - 2.0 * kPi + width, start + span);
            ++pieces;
        }
    }

    const double step = 2.0 * std::acos(std::max(-1.0, 1.0 - 0.1 / r));
    constexpr int kMaxChords = 1 << 16;
    for (int k = 0; k < pieces; ++k) {
        const double length = to[k] - from[k];
        const double wanted = step > 0.0 ? std::ceil(length / step) : double(kMaxChords);
        const int chords = int(std::min(double(kMaxChords), std::max(1.0, wanted)));
        QPointF previous = at(from[k]);
        for (int j = 1; j <= chords; ++j) {
            const QPointF next = at(j == chords ? to[k] : from[k] + length * j / chords);
            stroker.segment(previous, next);
            previous = next;
        }
    }
}

} // namespace

DxfDrawingItem::DxfDrawingItem(QCustomPlot *parentPlot)
    : QCPAbstractItem(parentPlot)
    , m_pen(kItemPen)
{ }

void DxfDrawingItem::setDrawing(const DxfDrawing &drawing)
{
    m_drawing = drawing;
    const int n = m_drawing.size();
    m_blocks.resize((n + kBlock - 1) / kBlock);
    m_blocks.squeeze();
    for (int b = 0; b < m_blocks.size(); ++b) {
        Block &block = m_blocks[b];
        const int first = b * kBlock;
        const int end = std::min(n, first + kBlock);
        double x0 = HUGE_VAL;
        double x1 = -HUGE_VAL;
        double y0 = HUGE_VAL;
        double y1 = -HUGE_VAL;
        bool chain = true;
        // The indices (in the chain's points: 0 the first start, i + 1 the end of segment i) of
        // the leftmost, rightmost, lowest and highest point.
        int extremes[4] = {0, 0, 0, 0};
        QPointF points[4];
        QPointF last;
        for (int i = first; i < end; ++i) {
            if (m_drawing.kindOf(i) != DxfEntity::Line) {
                chain = false;
                const QRectF r = m_drawing.boundsOf(i);
                x0 = std::min(x0, r.left());
                x1 = std::max(x1, r.right());
                y0 = std::min(y0, r.top());
                y1 = std::max(y1, r.bottom());
                continue;
            }
            const QLineF l = m_drawing.lineOf(i);
            x0 = std::min({x0, l.x1(), l.x2()});
            x1 = std::max({x1, l.x1(), l.x2()});
            y0 = std::min({y0, l.y1(), l.y2()});
            y1 = std::max({y1, l.y1(), l.y2()});
            if (!chain)
                continue;
            if (i == first) {
                std::fill(points, points + 4, l.p1());
            } else if (l.p1() != last) {
                chain = false;
                continue;
            }
            const QPointF p = l.p2();
            const int at = i - first + 1;
            const bool further[4] = {p.x() < points[0].x(), p.x() > points[1].x(),
                                     p.y() < points[2].y(), p.y() > points[3].y()};
            for (int k = 0; k < 4; ++k) {
                if (further[k]) {
                    points[k] = p;
                    extremes[k] = at;
                }
            }
            last = p;
        }
        block.bounds = QRectF(QPointF(x0, y0), QPointF(x1, y1));
        block.chain = chain;
        if (chain) {
            int order[4] = {0, 1, 2, 3};
            std::sort(order, order + 4, [&](int a, int c) { return extremes[a] < extremes[c]; });
            block.summary[0] = m_drawing.lineOf(first).p1();
            for (int k = 0; k < 4; ++k)
                block.summary[k + 1] = points[order[k]];
            block.summary[5] = last;
        }
    }
}

QRectF DxfDrawingItem::bounds() const
{
    // By the sides: a block of one horizontal or vertical segment has no area, yet counts.
    double x0 = HUGE_VAL;
    double x1 = -HUGE_VAL;
    double y0 = HUGE_VAL;
    double y1 = -HUGE_VAL;
    for (const Block &block : m_blocks) {
        x0 = std::min(x0, block.bounds.left());
        x1 = std::max(x1, block.bounds.right());
        y0 = std::min(y0, block.bounds.top());
        y1 = std::max(y1, block.bounds.bottom());
    }
    if (!(x0 <= x1) || !(y0 <= y1))
        return QRectF();
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

void DxfDrawingItem::releaseDrawing()
{
    m_drawing = DxfDrawing();
    m_blocks = QVector<Block>();
}

qint64 DxfDrawingItem::ownBytes() const
{
    return qint64(sizeof(*this)) + qint64(m_blocks.capacity()) * qint64(sizeof(Block));
}

double DxfDrawingItem::selectTest(const QPointF &, bool, QVariant *) const
{
    return -1;
}

void DxfDrawingItem::draw(QCPPainter *painter)
{
    m_strokedPoints = 0;
    QCPAxisRect *rect = clipAxisRect();
    if (m_drawing.isEmpty() || !rect)
        return;
    QCPAxis *xAxis = rect->axis(QCPAxis::atBottom);
    QCPAxis *yAxis = rect->axis(QCPAxis::atLeft);
    if (!xAxis || !yAxis)
        return;
    const PixelMap map(xAxis, yAxis);
    // A little beyond the axis rect, so that no line end shows at its border.
    const QRectF clip = QRectF(clipRect()).adjusted(-2, -2, 2, 2);
    const QRectF view
        = QRectF(QPointF(xAxis->pixelToCoord(clip.left()), yAxis->pixelToCoord(clip.top())),
                 QPointF(xAxis->pixelToCoord(clip.right()), yAxis->pixelToCoord(clip.bottom())))
              .normalized();
    painter->setPen(m_pen);
    painter->setBrush(Qt::NoBrush);
    Stroker stroker(painter, clip);
    const int n = m_drawing.size();
    for (int b = 0; b < m_blocks.size(); ++b) {
        const Block &block = m_blocks.at(b);
        if (!overlaps(block.bounds, view))
            continue;
        if (block.chain && map.linear()
            && (block.bounds.width() * std::abs(map.sx()) < kBand
                || block.bounds.height() * std::abs(map.sy()) < kBand)) {
            // The stroker would keep only these points of the block.
            for (int k = 1; k < 6; ++k)
                stroker.segment(map(block.summary[k - 1]), map(block.summary[k]));
            continue;
        }
        const int end = std::min(n, (b + 1) * kBlock);
        for (int i = b * kBlock; i < end; ++i) {
            switch (m_drawing.kindOf(i)) {
            case DxfEntity::Line: {
                const QLineF l = m_drawing.lineOf(i);
                if (std::max(l.x1(), l.x2()) < view.left()
                    || std::min(l.x1(), l.x2()) > view.right()
                    || std::max(l.y1(), l.y2()) < view.top()
                    || std::min(l.y1(), l.y2()) > view.bottom())
                    break;
                stroker.segment(map(l.p1()), map(l.p2()));
                break;
            }
            case DxfEntity::Arc:
                if (overlaps(m_drawing.boundsOf(i), view))
                    strokeArc(stroker, map, m_drawing.entity(i), clip);
                break;
            case DxfEntity::Ellipse: {
                if (!overlaps(m_drawing.boundsOf(i), view))
                    break;
                const DxfEntity e = m_drawing.entity(i);
                for (int k = 1; k < e.outline.size(); ++k)
                    stroker.segment(map(e.outline.at(k - 1)), map(e.outline.at(k)));
                break;
            }
            }
        }
    }
    stroker.finish();
    m_strokedPoints = stroker.strokedPoints();
}

DxfPlotItems::DxfPlotItems(Plot *plot)
    : m_plot(plot)
{ }

DxfPlotItems::~DxfPlotItems()
{
    clear();
}

void DxfPlotItems::clear()
{
    if (m_plot && m_item)
        m_plot->removeItem(m_item.data());
    m_item = nullptr;
}

void DxfPlotItems::show(const DxfDrawing &drawing)
{
    if (!m_plot)
        return;
    if (!m_item) {
        m_item = new DxfDrawingItem(m_plot);
        m_item->setLayer(QStringLiteral("overlay"));
        m_item->setSelectable(false);
    }
    m_item->setDrawing(drawing);
}

void DxfPlotItems::release()
{
    if (m_item)
        m_item->releaseDrawing();
}
