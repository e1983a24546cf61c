#include "measurements/ui/CurvatureMeasurement.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/Geometry.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"

#include <QMouseEvent>
#include <QVector2D>

#include <cmath>

namespace {

constexpr int kAlignAbove = Qt::AlignHCenter | Qt::AlignBottom; // 68

void logInfo(const QString &text)
{
    logger.log(INFO, text.toStdString());
}

} // namespace

CurvatureMeasurement::CurvatureMeasurement(int type, Plot *plot, const QString &name,
                                           int requiredSelections)
    : Measurement(type, plot, 1)
    , displayName(name)
    , items(plot, KindItems::LabelLayout::DesignationFirst)
{
    radiusLine = items.addMark<QCPItemLine>();
    if (radiusLine)
        radiusLine->setHead(QCPLineEnding(QCPLineEnding::esSpikeArrow, 8, 10));
    circle = items.addMark<QCPItemEllipse>();
    label = items.addLabel();
    setItemsVisible(false);
    setSelected(true);
    if (plot) {
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this, requiredSelections](QMouseEvent *event) {
                                  onMouseRelease(event, requiredSelections);
                              }));
    }
    setUnitSuffix();
}

CurvatureMeasurement::~CurvatureMeasurement()
{
    logInfo(displayName + QStringLiteral(" delete with value: ") + valueText());
}

QString CurvatureMeasurement::name() const
{
    return displayName;
}

QString CurvatureMeasurement::valueText() const
{
    if (selectionCount() == 0 || !known)
        return kUnknownText;
    return QString::number(radius, 'f', 4) + unitSuffix;
}

double CurvatureMeasurement::value() const
{
    return selectionCount() > 0 && known ? radius : 0.0;
}

QString CurvatureMeasurement::groupName() const
{
    return QStringLiteral("Радиусы");
}

void CurvatureMeasurement::setLargeLabel(bool large)
{
    items.setLargeLabel(large);
}

void CurvatureMeasurement::updateLabel()
{
    items.showDesignation(labelText);
}

void CurvatureMeasurement::updateSelectionMarker()
{
    if (Plot *p = plot())
        p->setSelectionMarkerVisible(true);
}

void CurvatureMeasurement::setSelected(bool selected)
{
    items.setSelected(selected);
}

void CurvatureMeasurement::updateUnits()
{
    setUnitSuffix();
}

void CurvatureMeasurement::setUnitSuffix()
{
    const QString suffix = unitSuffixOf(Settings::instance()->view.axis_unit);
    if (!suffix.isEmpty())
        unitSuffix = suffix;
}

void CurvatureMeasurement::setCircle(const QPointF &centre, double r)
{
    if (!circle)
        return;
    circle->topLeft->setCoords(centre.x() - r, centre.y() - r);
    circle->bottomRight->setCoords(centre.x() + r, centre.y() + r);
}

void CurvatureMeasurement::showLabel(const QString &text, const QPointF &position, double rotation,
                                     int alignment)
{
    items.setLabel(text, labelText, position, rotation, alignment);
}

void CurvatureMeasurement::showResult(const QPointF &centre, double r)
{
    if (!kind_detail::finitePoint(centre) || !std::isfinite(r)) {
        showUnknown();
        return;
    }
    const QPointF m = allSelected() ? cursorPosition() : QPointF(0.0, 0.0);
    setReperPoint(0, centre);
    QVector2D direction(float(m.x() - centre.x()), float(m.y() - centre.y()));
    direction.normalize();
    radius = r;
    known = true;
    setCircle(centre, r);
    showLabel(valueText(), m, 0.0, kAlignAbove);
    if (radiusLine) {
        radiusLine->start->setCoords(centre);
        radiusLine->end->setCoords(centre.x() + double(direction.x()) * r,
                                   centre.y() + double(direction.y()) * r);
    }
    setItemsVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + valueText());
}

void CurvatureMeasurement::showCircle(const QPointF &centre, double r)
{
    if (!kind_detail::finitePoint(centre) || !std::isfinite(r) || !(r > 0.0)) {
        showUnknown();
        return;
    }
    radius = r;
    known = true;
    setReperPoint(0, centre);
    setCircle(centre, r);
    if (circle)
        circle->setVisible(true);
}

void CurvatureMeasurement::setItemsVisible(bool visible)
{
    items.setVisible(visible);
}

void CurvatureMeasurement::showUnknown()
{
    known = false;
    forgetSelections();
    setItemsVisible(false);
    if (!reperPoints.isEmpty())
        setReperPoint(0, QPointF(kind_detail::kNaN, kind_detail::kNaN));
}

void CurvatureMeasurement::onMouseRelease(QMouseEvent *event, int requiredSelections)
{
    if (event->button() != Qt::LeftButton)
        return;
    if (placingValue) {
        finish();
        emit statusText(displayName + QStringLiteral(": ") + valueText());
        emit measumentFinished();
        if (Plot *p = plot())
            p->setSelectionMarkerVisible(true);
        logInfo(QStringLiteral("finished"));
        logInfo(QStringLiteral("Result - ") + displayName + QStringLiteral(": ") + valueText());
        return;
    }
    if (selectionCount() < requiredSelections) {
        nextSelection();
        return;
    }
    // A release without a drag leaves the last range empty: wait for it.
    if (!allSelected())
        return;
    emit stopSelection();
    Plot *p = plot();
    if (primary) {
        emit statusText(QStringLiteral("Расположите значение"));
        placingValue = true;
        if (p) {
            p->setSelectionMarkerVisible(false);
            p->replot(QCustomPlot::rpQueuedReplot);
        }
        return;
    }
    finish();
    emit statusText(displayName);
    if (p) {
        p->replot(QCustomPlot::rpQueuedReplot);
        p->setSelectionMarkerVisible(true);
    }
    emit measumentFinished();
}

// ---- Radius kinds ----------------------------------------------------------------------------

RegularRadiusMeasurement::RegularRadiusMeasurement(Plot *plot)
    : CurvatureMeasurement(REGULAR_RADIUS, plot, QStringLiteral("Радиус"), 1)
{
    logInfo(QStringLiteral("RegularRadiusMeasurement started"));
}

void RegularRadiusMeasurement::calculate()
{
    if (!allSelected())
        return;
    if (!selectionsUnchanged()) {
        QCPCurveDataContainer::const_iterator begin;
        QCPCurveDataContainer::const_iterator end;
        if (!selectionData(0, &begin, &end) || !fitCircle(begin, end, &centre, &fitted)) {
            showUnknown();
            return;
        }
        rememberSelections();
    }
    showResult(centre, fitted);
}

ArcsRadiusMeasurement::ArcsRadiusMeasurement(Plot *plot)
    : CurvatureMeasurement(ARCS_RADIUS, plot, QStringLiteral("Радиус (A)"), 2)
{
    logInfo(QStringLiteral("ArcsRadiusMeasurement started"));
}

void ArcsRadiusMeasurement::calculate()
{
    if (!allSelected() || selectionCount() != 2) {
        emit statusText(QStringLiteral("Выделите две арки"));
        return;
    }
    if (!selectionsUnchanged()) {
        QCPCurveDataContainer::const_iterator b1, e1, b2, e2;
        if (!selectionData(0, &b1, &e1) || !selectionData(1, &b2, &e2)
            || !fitCircleToTwoRanges(b1, e1, b2, e2, &centre, &fitted)) {
            showUnknown();
            return;
        }
        rememberSelections();
    }
    showResult(centre, fitted);
}

// ---- Circle kinds ----------------------------------------------------------------------------

CircumfAGMeasurement::CircumfAGMeasurement(Plot *plot)
    : CurvatureMeasurement(CIRCUMF_AG, plot, QStringLiteral("Окружность"), 1)
{
    primary = false;
    logInfo(QStringLiteral("CircumfAGMeasurement started"));
}

void CircumfAGMeasurement::calculate()
{
    if (!allSelected())
        return;
    if (selectionsUnchanged())
        return;
    QCPCurveDataContainer::const_iterator begin;
    QCPCurveDataContainer::const_iterator end;
    double r = 0.0;
    if (!selectionData(0, &begin, &end) || !fitCircle(begin, end, &centre, &r)) {
        showUnknown();
        return;
    }
    showCircle(centre, r);
    rememberSelections();
}

bool CircumfAGMeasurement::constructionCircle(QPointF *c, double *r) const
{
    if (!known)
        return false;
    *c = centre;
    *r = radius;
    return true;
}

CircumfAGSpecified::CircumfAGSpecified(Plot *plot, double givenRadius)
    : CurvatureMeasurement(CIRCUMF_AG_SPECIFIED, plot, QStringLiteral("Окружность"), 1)
{
    radius = givenRadius;
    primary = false;
    logInfo(QStringLiteral("CircumfAGMeasurement started"));
}

void CircumfAGSpecified::updateUnits()
{
    const double factor = unitConversionFactor(unitSuffix, Settings::instance()->view.axis_unit);
    if (factor > 0.0 && factor != 1.0) {
        radius *= factor;
        forgetSelections();
    }
    setUnitSuffix();
}

void CircumfAGSpecified::calculate()
{
    if (!allSelected())
        return;
    updateUnits();
    if (!(radius > 0.0) || !std::isfinite(radius)) {
        showUnknown();
        emit statusText(QStringLiteral("Радиус должен быть больше нуля"));
        return;
    }
    if (selectionsUnchanged())
        return;
    QCPCurveDataContainer::const_iterator begin;
    QCPCurveDataContainer::const_iterator end;
    QPointF start;
    double fitted = 0.0;
    if (!selectionData(0, &begin, &end) || !fitCircle(begin, end, &start, &fitted)) {
        showUnknown();
        return;
    }
    centre = searchCircleCentre(begin, end, start, radius);
    centre.setY(settleCircleVertically(begin, end, centre, radius));
    const double r = radius;
    showCircle(centre, r);
    if (known)
        rememberSelections();
}

bool CircumfAGSpecified::constructionCircle(QPointF *c, double *r) const
{
    if (!known)
        return false;
    *c = centre;
    *r = radius;
    return true;
}

// ---- Creators --------------------------------------------------------------------------------

template<>
Measurement *createMeasurementKind<REGULAR_RADIUS>(const MeasurementArgs &args)
{
    return new RegularRadiusMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<ARCS_RADIUS>(const MeasurementArgs &args)
{
    return new ArcsRadiusMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<CIRCUMF_AG>(const MeasurementArgs &args)
{
    return new CircumfAGMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<CIRCUMF_AG_SPECIFIED>(const MeasurementArgs &args)
{
    return new CircumfAGSpecified(args.plot, args.radius);
}
