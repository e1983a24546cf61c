#include "measurements/ui/ErrorGraph.h"

#include "core/Constants.h"
#include "core/Settings.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"

#include <algorithm>
#include <cmath>

namespace {

bool fuzzyEqual(double a, double b)
{
    return std::abs(a - b) * 1e12 <= std::min(std::abs(a), std::abs(b));
}

} // namespace

ErrorGraph::ErrorGraph(Plot *plot)
    : m_plot(plot)
{
    m_curve = new AdaptiveCurve(plot->xAxis, plot->yAxis);
    m_curve->setSelectable(QCP::stNone);
    m_curve->setPen(curvePen());
    for (QCPItemLine *&line : m_lines) {
        line = new QCPItemLine(plot);
        line->setPen(kItemPen);
        line->setLayer(QStringLiteral("background"));
    }
    connect(plot, &QCustomPlot::mouseWheel, this, &ErrorGraph::onPlotWheel);
    connect(plot, &QCustomPlot::beforeReplot, this, &ErrorGraph::layOutAgain);
}

ErrorGraph::~ErrorGraph()
{
    if (!m_plot)
        return;
    clearScale();
    for (QCPItemLine *line : m_lines)
        m_plot->removeItem(line);
    m_plot->removePlottable(m_curve);
}

QPen ErrorGraph::curvePen() const
{
    return QPen(QBrush(QColor(Settings::instance()->preferences.visual_objects_color)), 1.0,
                Qt::SolidLine, Qt::SquareCap, Qt::BevelJoin);
}

void ErrorGraph::setLine(int index, const QVector2D &start, const QVector2D &end)
{
    if (index < 0 || index > 1)
        return;
    m_lines[index]->start->setCoords(start.x(), start.y());
    m_lines[index]->end->setCoords(end.x(), end.y());
}

void ErrorGraph::setHighlighted(bool on)
{
    for (QCPItemLine *line : m_lines)
        line->setPen(on ? kSelectedItemPen : kItemPen);
}

void ErrorGraph::setGraphData(const QVector<double> &keys, const QVector<double> &values)
{
    if (keys.isEmpty() || values.size() != keys.size())
        return;
    m_curve->setData(keys, values);
    QCPAxis *x = m_plot->xAxis;
    QCPAxis *y = m_plot->yAxis;
    m_tipOffset0 = QPointF(x->coordToPixel(base0.x()) - x->coordToPixel(tip0.x()),
                           y->coordToPixel(base0.y()) - y->coordToPixel(tip0.y()));
    m_tipOffset1 = QPointF(x->coordToPixel(base1.x()) - x->coordToPixel(tip1.x()),
                           y->coordToPixel(base1.y()) - y->coordToPixel(tip1.y()));
    m_pixelDx.clear();
    m_pixelDy.clear();
    if (reference.size() < 2 || reference.at(0).size() != keys.size()
        || reference.at(1).size() != keys.size())
        return;
    m_pixelDx.reserve(keys.size());
    m_pixelDy.reserve(keys.size());
    for (int i = 0; i < keys.size(); ++i) {
        m_pixelDx.append(x->coordToPixel(reference.at(0).at(i)) - x->coordToPixel(keys.at(i)));
        m_pixelDy.append(y->coordToPixel(reference.at(1).at(i)) - y->coordToPixel(values.at(i)));
    }
}

double ErrorGraph::gridStep(double range)
{
    const double p = std::pow(10.0, std::floor(std::log10(range)));
    const double r = range / p;
    if (r <= 2.0)
        return 0.2 * p;
    if (r <= 5.0)
        return 0.5 * p;
    return p;
}

QVector<double> ErrorGraph::scaleValues(double minValue, double maxValue)
{
    double lowest = std::min(minValue, maxValue);
    double highest = std::max(minValue, maxValue);
    QVector<double> values;
    if (!std::isfinite(lowest) || !std::isfinite(highest) || !(highest > lowest))
        return values;
    const double step = std::max(gridStep(highest - lowest), kResolution);
    if (!std::isfinite(step) || !(step > 0.0))
        return values;
    const double lo = std::ceil(lowest / step) * step;
    const double hi = std::floor(highest / step) * step;
    // The count is rounded, not truncated, so that a last value a rounding error short of a
    // whole step is kept.
    const double last = std::round((hi - lo) / step);
    if (!(last >= 0.0) || last >= kMaxTicks)
        return values;
    for (int i = 0; i <= int(last); ++i) {
        const double v = lo + i * step;
        values.append(std::abs(v) < step * 1e-6 ? 0.0 : v);
    }
    return values;
}

QString ErrorGraph::scaleNumber(double value, double step)
{
    // The decimals of the step: 0.2, 0.5 or 1 times a power of ten.
    int decimals = 0;
    if (std::isfinite(step) && step > 0.0) {
        while (decimals < 15) {
            const double scaled = step * std::pow(10.0, decimals);
            if (std::abs(scaled - std::round(scaled)) <= 1e-6 * scaled)
                break;
            ++decimals;
        }
    }
    QString text = QString::number(value, 'f', decimals);
    if (text.contains(QLatin1Char('.'))) {
        while (text.endsWith(QLatin1Char('0')))
            text.chop(1);
        if (text.endsWith(QLatin1Char('.')))
            text.chop(1);
    }
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

void ErrorGraph::clearScale()
{
    if (m_plot) {
        for (QCPItemLine *tick : qAsConst(m_ticks))
            m_plot->removeItem(tick);
        for (QCPItemText *label : qAsConst(m_labels))
            m_plot->removeItem(label);
    }
    m_ticks.clear();
    m_labels.clear();
}

void ErrorGraph::draw(double scale, const QString &text)
{
    clearScale();
    m_lastScale = scale;
    m_lastText = text;
    const QVector2D along = base1 - tip1;
    const double lineLength = along.length();
    m_scaleShare = lineLength > 0.0 ? scale / lineLength : 0.0;
    // Along line 1 towards its base; straight up when the line has no length.
    const QVector2D d = lineLength > 0.0 ? along.normalized() : QVector2D(0, 1);
    const QVector2D n(-d.y(), d.x());
    const double g = scale * 0.02;
    const double lowest = std::min(minValue, maxValue);
    const double span = std::abs(maxValue - minValue);

    const QVector<double> values = scaleValues(minValue, maxValue);
    const double step = std::max(gridStep(span), kResolution);
    QVector<QVector2D> points;
    points.reserve(values.size());
    for (int i = 0; i < values.size(); ++i) {
        const double v = values.at(i);
        const double t = (v - lowest) / span;
        const QVector2D p = tip1 + d * float(scale * t);
        points.append(p);
        auto *tick = new QCPItemLine(m_plot);
        tick->start->setCoords(p.x(), p.y());
        const QVector2D tickEnd = p + n * float(g);
        tick->end->setCoords(tickEnd.x(), tickEnd.y());
        m_ticks.append(tick);

        auto *label = new QCPItemText(m_plot);
        label->setLayer(QStringLiteral("overlay"));
        const QVector2D at = p + n * float(1.5 * g);
        label->position->setCoords(at.x(), at.y());
        QString number = scaleNumber(v, step);
        if (i == values.size() - 1 && !text.isEmpty())
            number += QLatin1Char('\n') + text;
        label->setText(number);
        m_labels.append(label);
    }
    m_normal = n;
    m_tickLength = g;
    layOutLabels(points, n, g);
    m_curve->setPen(curvePen());
}

void ErrorGraph::layOutAgain()
{
    if (m_labels.isEmpty() || m_ticks.size() != m_labels.size())
        return;
    // The ticks are where the plot's geometry has moved them (a change of unit, a levelling):
    // the scale runs along them, and a tick is as long as the scale's ticks are.
    QVector<QVector2D> points;
    points.reserve(m_ticks.size());
    for (const QCPItemLine *tick : qAsConst(m_ticks))
        points.append(QVector2D(tick->start->coords()));
    QVector2D n = m_normal;
    if (points.size() > 1) {
        const QVector2D d = (points.last() - points.first()).normalized();
        if (!d.isNull())
            n = QVector2D(-d.y(), d.x());
    }
    const double g
        = QVector2D(m_ticks.first()->end->coords() - m_ticks.first()->start->coords()).length();
    layOutLabels(points, n, g > 0.0 ? g : m_tickLength);
}

void ErrorGraph::layOutLabels(const QVector<QVector2D> &points, const QVector2D &n, double g)
{
    // Laid out on the screen: without an axis rect yet the labels stay where draw put them.
    const QRectF area = m_plot->axisRect()->rect();
    if (points.isEmpty() || points.size() != m_labels.size() || area.isEmpty())
        return;
    QCPAxis *x = m_plot->xAxis;
    QCPAxis *y = m_plot->yAxis;
    auto pixel = [x, y](const QVector2D &p) {
        return QPointF(x->coordToPixel(double(p.x())), y->coordToPixel(double(p.y())));
    };
    QPointF normal = pixel(points.first() + n) - pixel(points.first());
    const double unitPixels = std::hypot(normal.x(), normal.y());
    if (!std::isfinite(unitPixels) || !(unitPixels > 0.0))
        return;
    normal /= unitPixels;
    // Between a tick's end and its number.
    constexpr double kGapPixels = 3.0;
    const double offset = std::abs(g) * unitPixels + kGapPixels;

    // The numbers stand beside the ticks on one side of the scale, each aligned away from the
    // scale so that the scale never runs through it.
    auto place = [&](double side) {
        const QPointF towards = normal * side;
        int alignment = 0;
        if (std::abs(towards.x()) >= std::abs(towards.y()))
            alignment = (towards.x() > 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter;
        else
            alignment = (towards.y() > 0 ? Qt::AlignTop : Qt::AlignBottom) | Qt::AlignHCenter;
        for (int i = 0; i < points.size(); ++i) {
            const QPointF at = pixel(points.at(i)) + towards * offset;
            QCPItemText *label = m_labels.at(i);
            label->position->setCoords(x->pixelToCoord(at.x()), y->pixelToCoord(at.y()));
            label->setPositionAlignment(Qt::Alignment(alignment));
        }
    };
    auto rectOf = [](const QCPItemText *label) {
        return QRectF(label->topLeft->pixelPosition(), label->bottomRight->pixelPosition())
            .normalized();
    };
    // The side on which more numbers lie whole within the plot; on a tie the side away from
    // line 0, outside the graph, where no number is written over the graph's curve.
    const QVector2D inward = (base0 + tip0) * 0.5f - (base1 + tip1) * 0.5f;
    const double away = QVector2D::dotProduct(n, inward) > 0.0f ? -1.0 : 1.0;
    double side = away;
    int best = -1;
    for (const double candidate : {away, -away}) {
        place(candidate);
        int inside = 0;
        for (const QCPItemText *label : qAsConst(m_labels))
            inside += area.contains(rectOf(label));
        if (inside > best) {
            best = inside;
            side = candidate;
        }
    }
    place(side);
    for (int i = 0; i < points.size(); ++i) {
        const QVector2D tickEnd = points.at(i) + n * float(g * side);
        m_ticks.at(i)->end->setCoords(double(tickEnd.x()), double(tickEnd.y()));
    }
    // A number that would be cut at the plot's edge, or would cover one shown before it, is
    // left out; its tick stays. The two ends of the scale come first.
    constexpr double kSpacingPixels = 2.0;
    QVector<int> order;
    order.reserve(m_labels.size());
    order << 0;
    if (m_labels.size() > 1)
        order << m_labels.size() - 1;
    for (int i = 1; i + 1 < m_labels.size(); ++i)
        order << i;
    QVector<QRectF> shown;
    for (const int i : qAsConst(order)) {
        QCPItemText *label = m_labels.at(i);
        const QRectF rect = rectOf(label);
        bool free = area.contains(rect);
        for (const QRectF &other : qAsConst(shown)) {
            if (!free)
                break;
            free = !other.adjusted(-kSpacingPixels, -kSpacingPixels, kSpacingPixels, kSpacingPixels)
                        .intersects(rect);
        }
        label->setVisible(free);
        if (free)
            shown.append(rect);
    }
}

void ErrorGraph::onPlotWheel()
{
    if (!refreshOnWheel || m_refreshQueued)
        return;
    // The plot announces the wheel before it zooms: the rebuild waits until the zoom is done.
    m_refreshQueued = true;
    QMetaObject::invokeMethod(
        this,
        [this] {
            m_refreshQueued = false;
            if (!m_plot)
                return;
            refresh();
            m_plot->replot(QCustomPlot::rpQueuedReplot);
        },
        Qt::QueuedConnection);
}

void ErrorGraph::refresh()
{
    if (!m_plot || reference.size() < 2 || reference.at(0).isEmpty() || reference.at(1).isEmpty())
        return;
    const QCPRange xRange = m_plot->xAxis->range();
    const QCPRange yRange = m_plot->yAxis->range();
    if (fuzzyEqual(xRange.size(), m_lastXRange.size())
        && fuzzyEqual(yRange.size(), m_lastYRange.size()))
        return;
    m_lastXRange = xRange;
    m_lastYRange = yRange;
    repositionLines();
    rebuildCurve();
}

void ErrorGraph::repositionLines()
{
    QCPAxis *x = m_plot->xAxis;
    QCPAxis *y = m_plot->yAxis;
    tip0 = QVector2D(x->pixelToCoord(x->coordToPixel(base0.x()) - m_tipOffset0.x()),
                     y->pixelToCoord(y->coordToPixel(base0.y()) - m_tipOffset0.y()));
    tip1 = QVector2D(x->pixelToCoord(x->coordToPixel(base1.x()) - m_tipOffset1.x()),
                     y->pixelToCoord(y->coordToPixel(base1.y()) - m_tipOffset1.y()));
    setLine(0, base0, tip0);
    setLine(1, base1, tip1);
    const double lineLength = (base1 - tip1).length();
    draw(lineLength > 0.0 ? m_scaleShare * lineLength : m_lastScale, m_lastText);
}

void ErrorGraph::rebuildCurve()
{
    const int n = m_curve->data()->size();
    if (n != m_pixelDx.size() || reference.at(0).size() != n || reference.at(1).size() != n)
        return;
    QCPAxis *x = m_plot->xAxis;
    QCPAxis *y = m_plot->yAxis;
    QVector<double> keys(n);
    QVector<double> values(n);
    for (int c = 0; c < n; ++c) {
        keys[c] = x->pixelToCoord(x->coordToPixel(reference.at(0).at(c)) - m_pixelDx.at(c));
        values[c] = y->pixelToCoord(y->coordToPixel(reference.at(1).at(c)) - m_pixelDy.at(c));
    }
    m_curve->setData(keys, values);
}
