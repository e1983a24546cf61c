#include "measurements/ui/DxfPlotItems.h"

#include "core/Constants.h"
#include "measurements/DxfDrawing.h"
#include "plot/Plot.h"
#include "plot/QCPItemArc.h"

#include <cmath>

QCPItemPolyline::QCPItemPolyline(QCustomPlot *parentPlot)
    : QCPAbstractItem(parentPlot)
    , m_pen(kItemPen)
{ }

QVector<QPointF> QCPItemPolyline::pixelPoints() const
{
    QVector<QPointF> pixels;
    QCPAxisRect *rect = clipAxisRect();
    if (!rect)
        return pixels;
    QCPAxis *x = rect->axis(QCPAxis::atBottom);
    QCPAxis *y = rect->axis(QCPAxis::atLeft);
    pixels.reserve(m_points.size());
    for (const QPointF &p : m_points)
        pixels.append(QPointF(x->coordToPixel(p.x()), y->coordToPixel(p.y())));
    return pixels;
}

double QCPItemPolyline::selectTest(const QPointF &pos, bool onlySelectable, QVariant *) const
{
    if (onlySelectable && !mSelectable)
        return -1;
    const QVector<QPointF> pixels = pixelPoints();
    double best = -1;
    for (int i = 1; i < pixels.size(); ++i) {
        const double d = std::sqrt(QCPVector2D(pos).distanceSquaredToLine(
            QCPVector2D(pixels.at(i - 1)), QCPVector2D(pixels.at(i))));
        if (best < 0 || d < best)
            best = d;
    }
    return best;
}

void QCPItemPolyline::draw(QCPPainter *painter)
{
    const QVector<QPointF> pixels = pixelPoints();
    if (pixels.size() < 2)
        return;
    painter->setPen(m_pen);
    painter->setBrush(Qt::NoBrush);
    painter->drawPolyline(pixels.constData(), pixels.size());
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
    if (m_plot) {
        for (QCPAbstractItem *item : qAsConst(m_items))
            m_plot->removeItem(item);
    }
    m_items.clear();
}

QCPAbstractItem *DxfPlotItems::create(DxfEntity::Kind kind)
{
    QCPAbstractItem *item = nullptr;
    switch (kind) {
    case DxfEntity::Line: {
        auto *line = new QCPItemLine(m_plot);
        line->setPen(kItemPen);
        item = line;
        break;
    }
    case DxfEntity::Arc: {
        auto *arc = new QCPItemArc(m_plot);
        arc->setPen(kItemPen);
        item = arc;
        break;
    }
    case DxfEntity::Ellipse:
        item = new QCPItemPolyline(m_plot);
        break;
    }
    item->setLayer(QStringLiteral("overlay"));
    item->setSelectable(false);
    return item;
}

void DxfPlotItems::place(QCPAbstractItem *item, const DxfEntity &e)
{
    switch (e.kind) {
    case DxfEntity::Line: {
        auto *line = static_cast<QCPItemLine *>(item);
        line->start->setCoords(e.start);
        line->end->setCoords(e.end);
        break;
    }
    case DxfEntity::Arc: {
        auto *arc = static_cast<QCPItemArc *>(item);
        arc->topLeft->setCoords(e.centre.x() - e.radius, e.centre.y() + e.radius);
        arc->bottomRight->setCoords(e.centre.x() + e.radius, e.centre.y() - e.radius);
        // Sixteenths of a degree, counter-clockwise from the start angle.
        arc->startAngle = e.fullCircle ? 0 : int(std::lround(e.startAngle * 16));
        arc->spanAngle = e.fullCircle ? 360 * 16 : int(std::lround(e.spanAngle * 16));
        break;
    }
    case DxfEntity::Ellipse:
        static_cast<QCPItemPolyline *>(item)->setPoints(e.outline);
        break;
    }
}

void DxfPlotItems::show(const DxfDrawing &drawing)
{
    if (!m_plot)
        return;
    if (m_items.size() != drawing.size()) {
        clear();
        for (int i = 0; i < drawing.size(); ++i)
            m_items.append(create(drawing.kindOf(i)));
    }
    for (int i = 0; i < drawing.size(); ++i)
        place(m_items.at(i), drawing.entity(i));
}
