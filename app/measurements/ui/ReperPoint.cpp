#include "measurements/ui/ReperPoint.h"

#include "core/Constants.h"
#include "plot/Plot.h"

#include <QCursor>
#include <QMouseEvent>

#include <cmath>
#include <cstdlib>

namespace {

constexpr double kMarkerSize = 7.0;
// A point is within reach while the Manhattan distance from the cursor is below this many pixels.
constexpr int kReach = 5;

void applyLook(QCPItemTracer *tracer, bool highlighted)
{
    if (highlighted) {
        tracer->setStyle(QCPItemTracer::tsCircle);
        tracer->setPen(kSelectedItemPen);
        tracer->setBrush(QBrush(Qt::green, Qt::SolidPattern));
    } else {
        tracer->setStyle(QCPItemTracer::tsPlus);
        tracer->setPen(kReperPen);
        tracer->setBrush(QBrush(Qt::red, Qt::SolidPattern));
    }
}

// Pixel coordinates truncated toward zero; false when they are no usable number.
bool toPixel(double coordinate, int *pixel)
{
    if (!(std::abs(coordinate) < 1e9))
        return false;
    *pixel = int(coordinate);
    return true;
}

} // namespace

ReperPoint::ReperPoint(Plot *plot, Measurement *owner)
    : owner(owner)
    , plot(plot)
{
    if (!plot)
        return;
    tracer = new QCPItemTracer(plot);
    tracer->setLayer(QStringLiteral("overlay"));
    tracer->setSize(kMarkerSize);
    tracer->setSelectable(false);
    applyLook(tracer, false);
    tracer->setVisible(false);

    // Not in the plot's legend: every legend change lays the whole legend out again, so that
    // a drawing's thousands of reper points would take seconds to come and go.
    const bool legendToo = plot->autoAddPlottableToLegend();
    plot->setAutoAddPlottableToLegend(false);
    curve = new QCPCurve(plot->xAxis, plot->yAxis);
    plot->setAutoAddPlottableToLegend(legendToo);
    curve->setSelectable(QCP::stNone);
    // The curve only holds the position: the tracer shows the point, and a hidden curve still
    // attracts the selection marker and still turns with the other curves.
    curve->setVisible(false);
    connect(plot, &QCustomPlot::beforeReplot, this, &ReperPoint::followCurve);
}

ReperPoint::~ReperPoint()
{
    if (!plot)
        return;
    if (tracer)
        plot->removeItem(tracer);
    if (curve)
        plot->removePlottable(curve);
}

QPointF ReperPoint::position() const
{
    if (curve && !curve->data()->isEmpty()) {
        const QCPCurveData &p = *curve->data()->constBegin();
        return QPointF(p.key, p.value);
    }
    return tracer ? tracer->position->coords() : QPointF();
}

void ReperPoint::moveTo(const QPointF &p)
{
    if (tracer)
        tracer->position->setCoords(p);
    if (curve) {
        curve->data()->clear();
        curve->addData(p.x(), p.y());
    }
}

void ReperPoint::followCurve()
{
    if (!tracer || !curve || curve->data()->isEmpty())
        return;
    const QCPCurveData &p = *curve->data()->constBegin();
    const QPointF at(p.key, p.value);
    if (tracer->position->coords() != at)
        tracer->position->setCoords(at);
}

bool ReperPoint::setHighlighted(bool on)
{
    const bool before = highlighted;
    if (before != on && tracer)
        applyLook(tracer, on);
    highlighted = on;
    return before;
}

void ReperPoint::enableSnapping()
{
    if (curve)
        curve->setSelectable(QCP::stWhole);
}

void ReperPoint::disableSnapping()
{
    if (curve)
        curve->setSelectable(QCP::stNone);
}

bool ReperPoint::isSnapTarget() const
{
    return curve && curve->selectable() != QCP::stNone;
}

void ReperPoint::setMarkerVisible(bool visible)
{
    if (tracer)
        tracer->setVisible(visible);
}

bool ReperPoint::isMarkerVisible() const
{
    return tracer && tracer->visible();
}

ReperPointController::ReperPointController(Plot *plot)
    : plot(plot)
    , cursorMover([](const QPoint &global) { QCursor::setPos(global); })
{ }

void ReperPointController::showPoints()
{
    for (ReperPoint *p : qAsConst(points))
        p->enableSnapping();
}

void ReperPointController::hidePoints()
{
    for (ReperPoint *p : qAsConst(points))
        p->disableSnapping();
}

void ReperPointController::reperPointChanged(ReperPoint *p)
{
    if (!p || known.contains(p))
        return;
    known.insert(p);
    points.append(p);
}

void ReperPointController::reperPointRemoved(ReperPoint *p)
{
    if (!known.remove(p))
        return;
    points.removeOne(p);
}

void ReperPointController::mouseMove(QMouseEvent *e)
{
    if (!plot)
        return;
    const QPoint mouse = e->pos();
    bool changed = false;
    for (ReperPoint *p : qAsConst(points)) {
        const QPointF at = p->position();
        int px = 0;
        int py = 0;
        const bool placed = toPixel(plot->xAxis->coordToPixel(at.x()), &px)
            && toPixel(plot->yAxis->coordToPixel(at.y()), &py);
        const int d = std::abs(mouse.x() - px) + std::abs(mouse.y() - py);
        if (placed && d < kReach && p->isOwnerFinished()) {
            // Qt answers a cursor move with a mouse move of its own, so the cursor is moved
            // only when it enters the reach, never while it stays inside.
            if (!p->setHighlighted(true)) {
                cursorMover(plot->mapToGlobal(QPoint(px, py)));
                changed = true;
            }
        } else if (p->setHighlighted(false)) {
            changed = true;
        }
    }
    if (changed)
        plot->replot(QCustomPlot::rpQueuedReplot);
}
