#include "measurements/ui/PlotSegmentSelection.h"

#include "core/Settings.h"
#include "measurements/ui/CurveGeometry.h"
#include "plot/Plot.h"

#include <QMouseEvent>

#include <algorithm>

PlotSegmentSelection::PlotSegmentSelection(Plot *plot)
    : QObject(plot)
    , plot(plot)
{
    plot->setSelectionRectMode(QCP::srmNone);
    connect(plot, &QCustomPlot::mousePress, this, &PlotSegmentSelection::onMousePress);
    connect(plot, &QCustomPlot::mouseMove, this, &PlotSegmentSelection::onMouseMove);
    connect(plot, &QCustomPlot::mouseRelease, this, &PlotSegmentSelection::onMouseRelease);
}

void PlotSegmentSelection::setEnabled(bool on)
{
    enabled = on;
    if (on)
        clearSelection();
}

void PlotSegmentSelection::clearSelection()
{
    if (!curve)
        return;
    selecting = false;
    curve->setSelection(QCPDataSelection());
    plot->replot(QCustomPlot::rpQueuedReplot);
}

QCPDataRange PlotSegmentSelection::currentRange() const
{
    const int n = curve ? curve->data()->size() : 0;
    return QCPDataRange(std::min(startIndex, currentIndex),
                        std::min(std::max(startIndex, currentIndex), n));
}

void PlotSegmentSelection::onMousePress(QMouseEvent *event)
{
    if (!enabled || event->button() != Qt::LeftButton)
        return;
    const QPoint p = event->pos();
    curve = nearestPlottable(plot, traceCount, p);
    if (!curve)
        return;

    QColor color;
    color.setNamedColor(Settings::instance()->preferences.selected_graph_color);
    auto *decorator = new QCPSelectionDecorator;
    decorator->setPen(QPen(color, 2.0));
    decorator->setBrush(Qt::NoBrush);
    curve->setSelectionDecorator(decorator);
    curve->setSelectable(QCP::stDataRange);

    const int i = nearestDataIndex(curve, p);
    if (i >= 0) {
        startIndex = currentIndex = i;
        selecting = true;
        moved = false;
        plot->replot(QCustomPlot::rpQueuedReplot);
    }
}

void PlotSegmentSelection::onMouseMove(QMouseEvent *event)
{
    if (!enabled || !selecting || !curve)
        return;
    if (!(event->buttons() & Qt::LeftButton)) {
        // The release never reached the plot (a dialog that the press opened took it): the drag
        // is over, and what it had highlighted is no selection.
        selecting = false;
        curve->setSelection(QCPDataSelection());
        plot->replot(QCustomPlot::rpQueuedReplot);
        return;
    }
    const int i = nearestDataIndex(curve, event->pos());
    if (i < 0)
        return;
    currentIndex = i;
    moved = true;
    const QCPDataRange range = currentRange();
    emit selectionChanged(range, curve);
    if (curve)
        curve->setSelection(QCPDataSelection(range));
    plot->replot(QCustomPlot::rpQueuedReplot);
}

void PlotSegmentSelection::onMouseRelease(QMouseEvent *)
{
    if (!enabled || !selecting)
        return;
    selecting = false;
    // A click without a drag selects nothing.
    if (!moved || !curve)
        return;
    emit selectionChanged(currentRange(), curve);
}
