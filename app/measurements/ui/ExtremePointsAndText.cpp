#include "measurements/ui/ExtremePointsAndText.h"

#include "core/Settings.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/MeasurementFactory.h"
#include "platform/Prompts.h"
#include "plot/Plot.h"

#include <QMouseEvent>
#include <QPointer>

AdditionalGeometrySelection::AdditionalGeometrySelection(int type, Plot *plot, const QString &name,
                                                         bool maximum)
    : Measurement(type, plot, 1)
    , displayName(name)
    , maximum(maximum)
{
    if (plot) {
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this](QMouseEvent *event) { onMouseRelease(event); }));
    }
}

QString AdditionalGeometrySelection::name() const
{
    return displayName;
}

QString AdditionalGeometrySelection::valueText() const
{
    return QString();
}

double AdditionalGeometrySelection::value() const
{
    return 0.0;
}

void AdditionalGeometrySelection::calculate()
{
    if (!allSelected() || selectionsUnchanged())
        return;
    QCPCurveDataContainer::const_iterator begin;
    QCPCurveDataContainer::const_iterator end;
    if (!selectionData(0, &begin, &end))
        return;
    const int index = extremeIndex(begin, end, maximum);
    if (index < 0)
        return;
    const auto point = begin + index;
    setReperPoint(0, QPointF(point->key, point->value));
    rememberSelections();
}

QString AdditionalGeometrySelection::groupName() const
{
    return QStringLiteral("Доп геометрия Линии");
}

void AdditionalGeometrySelection::setLargeLabel(bool) { }

void AdditionalGeometrySelection::updateLabel() { }

void AdditionalGeometrySelection::updateSelectionMarker()
{
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
}

void AdditionalGeometrySelection::setSelected(bool) { }

void AdditionalGeometrySelection::onMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    QCPCurveDataContainer::const_iterator begin;
    QCPCurveDataContainer::const_iterator end;
    if (!allSelected() || !selectionData(0, &begin, &end)) {
        emit statusText(QStringLiteral("Выделите участок"));
        return;
    }
    calculate();
    emit stopSelection();
    if (Plot *p = plot())
        p->replot(QCustomPlot::rpQueuedReplot);
    finish();
    emit measumentFinished();
}

FindMaxPoint::FindMaxPoint(Plot *plot)
    : AdditionalGeometrySelection(FIND_MAX_POINT, plot, QStringLiteral("Точка максимума"), true)
{ }

FindMinPoint::FindMinPoint(Plot *plot)
    : AdditionalGeometrySelection(FIND_MIN_POINT, plot, QStringLiteral("Точка минимума"), false)
{ }

// ---- Text ------------------------------------------------------------------------------------

AgTextPlacement::AgTextPlacement(QWidget *parent, Plot *plot)
    : Measurement(AG_TEXT_PLACEMENT, plot, 0)
    , displayName(QStringLiteral("Текст"))
{
    primary = false;
    if (plot) {
        text = new QCPItemText(plot);
        text->setVisible(false);
        const QPointer<QWidget> owner(parent);
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this, owner](QMouseEvent *event) { onMouseRelease(event, owner); }));
    }
}

AgTextPlacement::~AgTextPlacement()
{
    if (Plot *p = plot(); p && text)
        p->removeItem(text.data());
}

QString AgTextPlacement::name() const
{
    return displayName;
}

QString AgTextPlacement::valueText() const
{
    return QString();
}

double AgTextPlacement::value() const
{
    return 0.0;
}

void AgTextPlacement::calculate() { }

QString AgTextPlacement::groupName() const
{
    return QStringLiteral("Текст");
}

void AgTextPlacement::setLargeLabel(bool large)
{
    if (text)
        text->setFont(valueLabelFont(large));
}

void AgTextPlacement::updateLabel() { }

void AgTextPlacement::updateSelectionMarker()
{
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(false);
}

void AgTextPlacement::setSelected(bool) { }

void AgTextPlacement::onMouseRelease(QMouseEvent *event, QWidget *parent)
{
    Plot *p = plot();
    if (event->button() != Qt::LeftButton || !p || !text)
        return;
    const QPointF at(p->xAxis->pixelToCoord(event->pos().x()),
                     p->yAxis->pixelToCoord(event->pos().y()));
    bool ok = false;
    const QString typed
        = Prompts::instance()->getText(parent, QStringLiteral("Введите текст"),
                                       QStringLiteral("Текст:"), QLineEdit::Normal, QString(), &ok);
    if (!ok || typed.isEmpty())
        return;
    text->position->setCoords(at);
    text->setText(typed);
    text->setColor(Qt::black);
    text->setVisible(true);
    p->replot(QCustomPlot::rpQueuedReplot);
    finish();
    emit measumentFinished();
    p->unsetCursor();
}

// ---- Creators --------------------------------------------------------------------------------

template<>
Measurement *createMeasurementKind<FIND_MAX_POINT>(const MeasurementArgs &args)
{
    return new FindMaxPoint(args.plot);
}

template<>
Measurement *createMeasurementKind<FIND_MIN_POINT>(const MeasurementArgs &args)
{
    return new FindMinPoint(args.plot);
}

template<>
Measurement *createMeasurementKind<AG_TEXT_PLACEMENT>(const MeasurementArgs &args)
{
    return new AgTextPlacement(args.parent, args.plot);
}
