#include "measurements/ui/DistanceMeasurement.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"

#include <QLineF>
#include <QMouseEvent>

#include <cmath>

namespace {

constexpr int kAlignAbove = Qt::AlignHCenter | Qt::AlignBottom; // 68
constexpr int kAlignBelow = Qt::AlignHCenter | Qt::AlignTop; // 36

void logInfo(const QString &text)
{
    logger.log(INFO, text.toStdString());
}

// "(x,y)" with six decimals, as the start and finish log lines give a point.
QString pointText(const QPointF &p)
{
    return QStringLiteral("(%1,%2)").arg(QString::asprintf("%f", p.x()),
                                         QString::asprintf("%f", p.y()));
}

} // namespace

DistanceMeasurement::DistanceMeasurement(int type, Plot *plot, const QString &name,
                                         bool regionDriven)
    : Measurement(type, plot, 2)
    , displayName(name)
    , items(plot, KindItems::LabelLayout::ValueOnly)
{
    firstLine = items.addMark<QCPItemLine>();
    secondLine = items.addMark<QCPItemLine>();
    dimensionLine = items.addMark<QCPItemLine>();
    if (dimensionLine) {
        const QCPLineEnding arrow(QCPLineEnding::esLineArrow, 8, 10);
        dimensionLine->setHead(arrow);
        dimensionLine->setTail(arrow);
    }
    label = items.addLabel();
    setSelected(true);
    setItemsVisible(false);
    firstPoint = secondPoint = DistanceMeasurement::markerPoint();
    if (plot) {
        addConnection(connect(plot, &QCustomPlot::mouseMove, this,
                              [this](QMouseEvent *event) { onMouseMove(event); }));
        addConnection(connect(
            plot, &QCustomPlot::mouseRelease, this,
            [this, regionDriven](QMouseEvent *event) { onMouseRelease(event, regionDriven); }));
    }
    updateUnits();
}

DistanceMeasurement::~DistanceMeasurement()
{
    logInfo(displayName + QStringLiteral(" delete with value: ") + valueText());
}

QString DistanceMeasurement::name() const
{
    return displayName;
}

QString DistanceMeasurement::valueText() const
{
    if (!known)
        return kUnknownText;
    return QString::number(length, 'f', 4) + unitSuffix;
}

double DistanceMeasurement::value() const
{
    return known ? length : 0.0;
}

QString DistanceMeasurement::groupName() const
{
    return QStringLiteral("Длины");
}

void DistanceMeasurement::setLargeLabel(bool large)
{
    items.setLargeLabel(large);
}

void DistanceMeasurement::updateLabel()
{
    items.showDesignation(labelText);
    if (label)
        label->setPositionAlignment(Qt::Alignment(alignment));
}

void DistanceMeasurement::updateSelectionMarker()
{
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
}

void DistanceMeasurement::setSelected(bool selected)
{
    items.setSelected(selected);
}

void DistanceMeasurement::updateUnits()
{
    const QString suffix = unitSuffixOf(Settings::instance()->view.axis_unit);
    if (!suffix.isEmpty())
        unitSuffix = suffix;
}

CurvePointRef DistanceMeasurement::markerPoint() const
{
    CurvePointRef ref;
    if (Plot *p = plot()) {
        ref.index = p->markerDataIndex();
        ref.curve = p->markerCurve();
    }
    return ref;
}

const CurvePointRef &DistanceMeasurement::leftPoint() const
{
    return curvePointAt(secondPoint).x() < curvePointAt(firstPoint).x() ? secondPoint : firstPoint;
}

const CurvePointRef &DistanceMeasurement::rightPoint() const
{
    return curvePointAt(secondPoint).x() < curvePointAt(firstPoint).x() ? firstPoint : secondPoint;
}

QVector<CurvePointRef> DistanceMeasurement::pickedPoints() const
{
    if (measurementKindInfo(type()).input == KindInput::Ranges)
        return {};
    return {firstPoint, secondPoint};
}

void DistanceMeasurement::showLabel(const QString &text, const QPointF &position, double rotation,
                                    int alignment)
{
    items.setLabel(text, labelText, position, rotation, alignment);
}

void DistanceMeasurement::setItemsVisible(bool visible)
{
    items.setVisible(visible);
}

void DistanceMeasurement::placeLine(QCPItemLine *line, const QPointF &from, const QPointF &to)
{
    if (!line || !kind_detail::finitePoint(from) || !kind_detail::finitePoint(to))
        return;
    line->start->setCoords(from);
    line->end->setCoords(to);
}

void DistanceMeasurement::showValue(double value, const QPointF &labelAt, double rotation,
                                    int labelAlignment)
{
    if (!std::isfinite(value)) {
        showUnknown();
        return;
    }
    length = value;
    known = true;
    alignment = labelAlignment;
    showLabel(valueText(), labelAt, rotation, labelAlignment);
    setItemsVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + valueText());
}

void DistanceMeasurement::showUnknown()
{
    known = false;
    setItemsVisible(false);
}

void DistanceMeasurement::onMouseMove(QMouseEvent *)
{
    if (finished || placingValue)
        return;
    secondPoint = markerPoint();
}

void DistanceMeasurement::onMouseRelease(QMouseEvent *event, bool regionDriven)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (placingValue) {
        finishValuePlacement();
        return;
    }
    if (regionDriven) {
        if (type() == MAX_MIN_DISTANCE) {
            startValuePlacement();
        } else if (selectionCount() < 2) {
            nextSelection();
        } else if (allSelected()) {
            startValuePlacement();
        }
        return;
    }
    if (Settings::instance()->preferences.alternative_measurement) {
        secondPoint = markerPoint();
        startValuePlacement();
    } else if (!releasedOnce) {
        firstPoint = markerPoint();
        releasedOnce = true;
    } else {
        secondPoint = markerPoint();
        startValuePlacement();
    }
}

void DistanceMeasurement::startValuePlacement()
{
    emit stopSelection();
    emit statusText(QStringLiteral("Расположите значение"));
    Plot *p = plot();
    if (p)
        p->setSelectionMarkerVisible(false);
    placingValue = true;
    if (p)
        p->replot(QCustomPlot::rpQueuedReplot);
}

void DistanceMeasurement::finishValuePlacement()
{
    finish();
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
    emit measumentFinished();
    emit statusText(displayName + QStringLiteral(": ") + valueText());
    if (displayName == QStringLiteral("Ср. Высота"))
        logInfo(QStringLiteral("Finished"));
    else
        logInfo(QStringLiteral("Finished in ") + pointText(curvePointAt(secondPoint)));
    logInfo(QStringLiteral("Result - ") + displayName + QStringLiteral(": ") + valueText());
}

// ---- Picked points ---------------------------------------------------------------------------

VerticalDistanceMeasurment::VerticalDistanceMeasurment(Plot *plot)
    : DistanceMeasurement(VERTICAL_DISTANCE, plot, QStringLiteral("Высота"), false)
{
    logInfo(QStringLiteral("VerticalDistanceMeasurment started in ")
            + pointText(curvePointAt(leftPoint())));
}

void VerticalDistanceMeasurment::calculate()
{
    const QPointF p1 = curvePointAt(leftPoint());
    const QPointF p2 = curvePointAt(rightPoint());
    const QPointF m = cursorPosition();
    placeLine(firstExtensionLine(), p1, QPointF(m.x(), p1.y()));
    placeLine(secondExtensionLine(), p2, QPointF(m.x(), p2.y()));
    placeLine(dimensionLineItem(), QPointF(m.x(), p1.y()), QPointF(m.x(), p2.y()));
    setReperPoint(0, p1);
    setReperPoint(1, p2);
    showValue(std::abs(p2.y() - p1.y()), QPointF(m.x(), (p1.y() + p2.y()) / 2.0), 90.0,
              m.x() < p1.x() ? kAlignBelow : kAlignAbove);
}

HorisontalDistanceMeasurment::HorisontalDistanceMeasurment(Plot *plot)
    : DistanceMeasurement(HORISONTAL_DISTANCE, plot, QStringLiteral("Длина"), false)
{
    if (plot)
        plot->setInteractions(Plot::iRangeSelection | QCP::iRangeZoom);
    logInfo(QStringLiteral("HorisontalDistanceMeasurment started in ")
            + pointText(curvePointAt(leftPoint())));
}

void HorisontalDistanceMeasurment::calculate()
{
    const QPointF p1 = curvePointAt(leftPoint());
    const QPointF p2 = curvePointAt(rightPoint());
    const QPointF m = cursorPosition();
    placeLine(firstExtensionLine(), p1, QPointF(p1.x(), m.y()));
    placeLine(secondExtensionLine(), p2, QPointF(p2.x(), m.y()));
    placeLine(dimensionLineItem(), QPointF(p1.x(), m.y()), QPointF(p2.x(), m.y()));
    setReperPoint(0, p1);
    setReperPoint(1, p2);
    showValue(std::abs(p2.x() - p1.x()), QPointF((p1.x() + p2.x()) / 2.0, m.y()), 0.0,
              m.y() > p1.y() ? kAlignAbove : kAlignBelow);
}

DirectDistanceMeasurement::DirectDistanceMeasurement(Plot *plot)
    : DistanceMeasurement(DIRECT_DISTANCE, plot, QStringLiteral("Прямая"), false)
{
    logInfo(QStringLiteral("DirectDistanceMeasurement started in ")
            + pointText(curvePointAt(leftPoint())));
}

void DirectDistanceMeasurement::announce()
{
    emit statusText(name() + QStringLiteral(": выделите участок измерения"));
}

void DirectDistanceMeasurement::calculate()
{
    const QPointF p1 = curvePointAt(leftPoint());
    const QPointF p2 = curvePointAt(rightPoint());
    const DirectDimension dim = directDimension(p1, p2, cursorPosition());
    const QPointF a = p1 + dim.offset;
    const QPointF b = p2 + dim.offset;
    placeLine(firstExtensionLine(), p1, a);
    placeLine(secondExtensionLine(), p2, b);
    placeLine(dimensionLineItem(), a, b);
    setReperPoint(0, p1);
    setReperPoint(1, p2);
    showValue(std::hypot(p2.x() - p1.x(), p2.y() - p1.y()), (a + b) / 2.0, QLineF(a, b).angle(),
              dim.below ? kAlignBelow : kAlignAbove);
}

// ---- Ranges ----------------------------------------------------------------------------------

MaxMinDistanceMeasurement::MaxMinDistanceMeasurement(Plot *plot)
    : DistanceMeasurement(MAX_MIN_DISTANCE, plot, QStringLiteral("Наибольшая высота"), true)
{
    logInfo(QStringLiteral("MaxMinDistanceMeasurement started in ")
            + pointText(curvePointAt(leftPoint())));
}

void MaxMinDistanceMeasurement::calculate()
{
    if (!allSelected())
        return;
    if (!selectionsUnchanged()) {
        QCPCurveDataContainer::const_iterator begin;
        QCPCurveDataContainer::const_iterator end;
        if (!selectionData(0, &begin, &end))
            return;
        const int top = extremeIndex(begin, end, true);
        const int bottom = extremeIndex(begin, end, false);
        if (top < 0 || bottom < 0) {
            forgetSelections();
            showUnknown();
            return;
        }
        highest = QPointF((begin + top)->key, (begin + top)->value);
        lowest = QPointF((begin + bottom)->key, (begin + bottom)->value);
        rememberSelections();
    }
    const QPointF m = cursorPosition();
    placeLine(firstExtensionLine(), highest, QPointF(m.x(), highest.y()));
    placeLine(secondExtensionLine(), lowest, QPointF(m.x(), lowest.y()));
    placeLine(dimensionLineItem(), QPointF(m.x(), highest.y()), QPointF(m.x(), lowest.y()));
    setReperPoint(0, highest);
    setReperPoint(1, lowest);
    showValue(highest.y() - lowest.y(), QPointF(m.x(), (highest.y() + lowest.y()) / 2.0), 90.0,
              m.x() < highest.x() ? kAlignBelow : kAlignAbove);
}

MeanHeightMeasurement::MeanHeightMeasurement(Plot *plot)
    : DistanceMeasurement(MEAN_HEIGHT, plot, QStringLiteral("Ср. Высота"), true)
{
    firstPoint = CurvePointRef();
    logInfo(QStringLiteral("MeanHeightMeasurement started"));
}

CurvePointRef MeanHeightMeasurement::markerPoint() const
{
    return CurvePointRef();
}

void MeanHeightMeasurement::calculate()
{
    if (!allSelected()) {
        emit statusText(QStringLiteral("Выделите две области для расчета"));
        return;
    }
    const int count = std::min(selectionCount(), 2);
    if (!selectionsUnchanged()) {
        for (int k = 0; k < count; ++k) {
            QCPCurveDataContainer::const_iterator begin;
            QCPCurveDataContainer::const_iterator end;
            if (!selectionData(k, &begin, &end)) {
                forgetSelections();
                showUnknown();
                return;
            }
            // The middle between the first and the last point of the range.
            const double mid = (begin->key + (end - 1)->key) / 2.0;
            middles[k] = QPointF(mid, leastSquaresValueAt(begin, end, mid));
            if (!kind_detail::finitePoint(middles[k])) {
                forgetSelections();
                showUnknown();
                return;
            }
        }
        rememberSelections();
    }
    const QPointF m = cursorPosition();
    placeLine(firstExtensionLine(), middles[0], QPointF(m.x(), middles[0].y()));
    setReperPoint(0, middles[0]);
    if (count < 2) {
        if (firstExtensionLine())
            firstExtensionLine()->setVisible(true);
        return;
    }
    placeLine(secondExtensionLine(), middles[1], QPointF(m.x(), middles[1].y()));
    setReperPoint(1, middles[1]);
    placeLine(dimensionLineItem(), QPointF(m.x(), middles[0].y()), QPointF(m.x(), middles[1].y()));
    showValue(std::abs(middles[1].y() - middles[0].y()),
              QPointF(m.x(), (middles[0].y() + middles[1].y()) / 2.0), 90.0, kAlignAbove);
}

AvgDiametertMeasurement::AvgDiametertMeasurement(Plot *plot)
    : DistanceMeasurement(AVG_DIAMETERT, plot, QStringLiteral("Ср. Высота"), true)
{
    firstPoint = CurvePointRef();
}

CurvePointRef AvgDiametertMeasurement::markerPoint() const
{
    return CurvePointRef();
}

void AvgDiametertMeasurement::calculate()
{
    if (!allSelected()) {
        emit statusText(QStringLiteral("Выделите две области для расчета"));
        return;
    }
    const int count = std::min(selectionCount(), 2);
    if (!selectionsUnchanged()) {
        for (int k = 0; k < count; ++k) {
            QCPCurveDataContainer::const_iterator begin;
            QCPCurveDataContainer::const_iterator end;
            if (!selectionData(k, &begin, &end)) {
                forgetSelections();
                showUnknown();
                return;
            }
            ranges[k].line = Algos::RMS(begin, end);
            ranges[k].firstX = begin->key;
            ranges[k].lastX = (end - 1)->key;
        }
        rememberSelections();
    }
    QPointF starts[2];
    for (int k = 0; k < count; ++k) {
        const FittedRange &r = ranges[k];
        starts[k] = QPointF(r.firstX, r.line.value(r.firstX));
        const QPointF last(r.lastX, r.line.value(r.lastX));
        if (!kind_detail::finitePoint(starts[k]) || !kind_detail::finitePoint(last)) {
            showUnknown();
            return;
        }
        placeLine(k == 0 ? firstExtensionLine() : secondExtensionLine(), starts[k], last);
        setReperPoint(k, starts[k]);
    }
    if (count < 2) {
        if (firstExtensionLine())
            firstExtensionLine()->setVisible(true);
        return;
    }
    const double x = cursorPosition().x();
    const QPointF a(x, ranges[0].line.value(x));
    const QPointF b(x, ranges[1].line.value(x));
    placeLine(dimensionLineItem(), a, b);
    showValue(std::abs(b.y() - a.y()), (a + b) / 2.0, 90.0, kAlignAbove);
}

// ---- Creators --------------------------------------------------------------------------------

template<>
Measurement *createMeasurementKind<VERTICAL_DISTANCE>(const MeasurementArgs &args)
{
    return new VerticalDistanceMeasurment(args.plot);
}

template<>
Measurement *createMeasurementKind<HORISONTAL_DISTANCE>(const MeasurementArgs &args)
{
    return new HorisontalDistanceMeasurment(args.plot);
}

template<>
Measurement *createMeasurementKind<MAX_MIN_DISTANCE>(const MeasurementArgs &args)
{
    return new MaxMinDistanceMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<DIRECT_DISTANCE>(const MeasurementArgs &args)
{
    return new DirectDistanceMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<MEAN_HEIGHT>(const MeasurementArgs &args)
{
    return new MeanHeightMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<AVG_DIAMETERT>(const MeasurementArgs &args)
{
    return new AvgDiametertMeasurement(args.plot);
}
