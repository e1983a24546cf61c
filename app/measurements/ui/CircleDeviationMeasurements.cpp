#include "measurements/ui/CircleDeviationMeasurements.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/Deviations.h"
#include "measurements/Geometry.h"
#include "measurements/KindGeometry.h"
#include "measurements/ui/ErrorGraph.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"

#include <cmath>

namespace {

const QString kCircleName = QStringLiteral("Отклонение от окружности");

QVector2D unitVector(const QVector2D &from, const QVector2D &to)
{
    return (to - from).normalized();
}

} // namespace

RadiusDisplacementErrorMeasurement::RadiusDisplacementErrorMeasurement(int kind, Plot *plot,
                                                                       int selectionsNeeded)
    : ErrorMeasurement(kind, plot, kCircleName, selectionsNeeded)
{
    ellipse = items.addMark<QCPItemEllipse>(QStringLiteral("background"));
    ellipse->setVisible(false);
    setSelected(true);
}

double RadiusDisplacementErrorMeasurement::filterWidth()
{
    // A quarter of a millimetre in the display unit.
    return 0.25 * unitsPerMillimetreOf(Settings::instance()->view.axis_unit);
}

void RadiusDisplacementErrorMeasurement::showCircle(const Fit &fit)
{
    const double cx = fit.centre.x();
    const double cy = fit.centre.y();
    const double r = fit.radius;
    ellipse->topLeft->setCoords(cx - r, cy - r);
    ellipse->bottomRight->setCoords(cx + r, cy + r);
    ellipse->setVisible(true);
}

void RadiusDisplacementErrorMeasurement::drawFit(const Fit &fit)
{
    showCircle(fit);
    ErrorMeasurement::drawFit(fit);
}

ErrorMeasurement::FitOutcome
RadiusDisplacementErrorMeasurement::fitCircleTo(Fit &fit, bool filtered, double givenRadius)
{
    QVector<CurveRange> ranges;
    QString status;
    const bool complete = selectedRanges(ranges, &status);
    if (!complete || ranges.size() < selectionsNeeded) {
        if (!status.isEmpty())
            emit statusText(status);
        else if (selectionsNeeded > 1)
            emit statusText(QStringLiteral("Продолжите выделения"));
        return FitOutcome::Incomplete;
    }
    spanOf(ranges, fit);

    QVector<const QCPCurveData *> begins;
    QVector<const QCPCurveData *> ends;
    for (const CurveRange &r : qAsConst(ranges)) {
        begins.append(r.first());
        ends.append(r.last());
    }
    QPointF centre;
    double radius = 0.0;
    if (!fitCircle(begins, ends, centre, radius))
        return FitOutcome::Computed; // no circle through the points: unknown
    if (givenRadius > 0.0) {
        QVector<QPointF> points;
        for (const CurveRange &r : qAsConst(ranges)) {
            for (const QCPCurveData *p = r.first(); p != r.last(); ++p)
                points.append(QPointF(p->key, p->value));
        }
        radius = givenRadius;
        centre = refineCentre(points, centre, radius);
        if (!settleCentre(points, centre, radius)) {
            fit.status = QStringLiteral("Окружность заданного радиуса не ложится на участок");
            return FitOutcome::Computed;
        }
    }
    fit.hasCircle = true;
    fit.centre = centre;
    fit.radius = radius;

    // Every point of the stretch, in data order: the points between the ranges count as well,
    // and a point of two overlapping ranges counts once.
    const int count = fit.last - fit.first + 1;
    fit.xs.reserve(count);
    fit.deviations.reserve(count);
    fit.pointXs.reserve(count);
    fit.pointYs.reserve(count);
    const QCPCurveData *data = fit.curve->data()->constBegin();
    for (int i = fit.first; i <= fit.last; ++i) {
        const double x = data[i].key;
        const double y = data[i].value;
        fit.xs.append(x);
        fit.deviations.append(radius - std::hypot(x - centre.x(), y - centre.y()));
        fit.pointXs.append(x);
        fit.pointYs.append(y);
    }
    if (filtered)
        fit.deviations = movingMedian(fit.xs, fit.deviations, filterWidth());
    double lo = 0.0;
    double hi = 0.0;
    fit.ok = valueRange(fit.deviations, &lo, &hi);
    fit.result = hi - lo;
    return FitOutcome::Computed;
}

// --- kind 13 ------------------------------------------------------------------------------------

RDEMeasurement::RDEMeasurement(Plot *plot)
    : RadiusDisplacementErrorMeasurement(RDEM, plot, 1)
{
    logger.log(INFO, "RadiusDisplacementErrorMeasurement start");
}

ErrorMeasurement::FitOutcome RDEMeasurement::computeFit(Fit &fit)
{
    return fitCircleTo(fit, false);
}

// --- kind 14 ------------------------------------------------------------------------------------

RDEMSpecified::RDEMSpecified(Plot *plot, double radius)
    : RadiusDisplacementErrorMeasurement(RDEM_SPECIFIED, plot, 1)
    , radius(radius)
{
    logger.log(INFO, "RDEMSpecified start");
}

void RDEMSpecified::calculate()
{
    updateUnits();
    ErrorMeasurement::calculate();
}

void RDEMSpecified::updateUnits()
{
    // The radius follows the display unit: from the unit it is held in to the current one.
    const double factor = unitConversionFactor(unitText, Settings::instance()->view.axis_unit);
    if (factor == 0.0 || factor == 1.0)
        return;
    radius *= factor;
    ErrorMeasurement::updateUnits();
}

ErrorMeasurement::FitOutcome RDEMSpecified::computeFit(Fit &fit)
{
    return fitCircleTo(fit, false, radius);
}

// --- kind 15 ------------------------------------------------------------------------------------

RadiusDisplacementFilterErrorMeasurement::RadiusDisplacementFilterErrorMeasurement(Plot *plot)
    : RadiusDisplacementErrorMeasurement(RDEM_FILTER, plot, 1)
{
    logger.log(INFO, "RadiusDisplacementFilterErrorMeasurement start");
}

ErrorMeasurement::FitOutcome RadiusDisplacementFilterErrorMeasurement::computeFit(Fit &fit)
{
    return fitCircleTo(fit, true);
}

// --- kinds 16 and 17 ----------------------------------------------------------------------------

RadiusDisplacementErrorMeasurementByTwoSegment::RadiusDisplacementErrorMeasurementByTwoSegment(
    Plot *plot, int count)
    : RadiusDisplacementErrorMeasurementByTwoSegment(RDEM_BY_TWO_SEGMENT, plot, count)
{ }

RadiusDisplacementErrorMeasurementByTwoSegment::RadiusDisplacementErrorMeasurementByTwoSegment(
    int kind, Plot *plot, int count)
    : RadiusDisplacementErrorMeasurement(kind, plot, count)
{
    logger.log(INFO, "RadiusDisplacementErrorMeasurementByTwoSegment start");
}

ErrorMeasurement::FitOutcome RadiusDisplacementErrorMeasurementByTwoSegment::computeFit(Fit &fit)
{
    return fitCircleTo(fit, filtered());
}

RDEMFiterByTwoSegment::RDEMFiterByTwoSegment(Plot *plot, int count)
    : RadiusDisplacementErrorMeasurementByTwoSegment(RDEM_FITER_BY_TWO_SEGMENT, plot, count)
{ }

// --- kind 18 ------------------------------------------------------------------------------------

RDEMWithPolarGraph::RDEMWithPolarGraph(Plot *plot)
    : RadiusDisplacementErrorMeasurement(RDEM_WITH_POLAR_GRAPH, plot, 1)
{
    logger.log(INFO, "RDEMWithRadianGraph start");
    graph->refreshOnWheel = true;
}

ErrorMeasurement::FitOutcome RDEMWithPolarGraph::computeFit(Fit &fit)
{
    return fitCircleTo(fit, false);
}

void RDEMWithPolarGraph::drawFit(const Fit &fit)
{
    showCircle(fit);

    // The connectors run outward along the radii through the ends of the arc, as far as the
    // label's baseline lies below the arc's first point.
    const QVector2D c(float(fit.centre.x()), float(fit.centre.y()));
    const float e = std::abs(float(labelY) - chord[0].y());
    const QVector2D a = chord[0] + e * unitVector(c, chord[0]);
    const QVector2D b = chord[1] + e * unitVector(c, chord[1]);
    graph->tip0 = a;
    graph->tip1 = b;
    graph->base0 = chord[0];
    graph->base1 = chord[1];
    graph->setConnector(0, graph->base0, graph->tip0);
    graph->setConnector(1, graph->base1, graph->tip1);

    const double height = std::max(0.0, spanMinimum - labelY);
    QVector<QPointF> points;
    points.reserve(fit.pointXs.size());
    for (int i = 0; i < fit.pointXs.size(); ++i)
        points.append(QPointF(fit.pointXs.at(i), fit.pointYs.at(i)));
    const QVector<QPointF> polar
        = polarGraphPoints(points, fit.deviations, fit.centre, fit.radius, height);
    QVector<double> xs;
    QVector<double> ys;
    xs.reserve(polar.size());
    ys.reserve(polar.size());
    for (const QPointF &p : polar) {
        xs.append(p.x());
        ys.append(p.y());
    }
    double lo = 0.0;
    double hi = 0.0;
    valueRange(fit.deviations, &lo, &hi);
    graph->reference = {fit.pointXs, fit.pointYs};
    graph->setData(xs, ys);
    graph->minValue = lo;
    graph->maxValue = hi;
    graph->draw(height, QString());
    setGraphVisible(true);
}

template<>
Measurement *createMeasurementKind<RDEM>(const MeasurementArgs &args)
{
    return new RDEMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<RDEM_SPECIFIED>(const MeasurementArgs &args)
{
    return new RDEMSpecified(args.plot, args.radius);
}

template<>
Measurement *createMeasurementKind<RDEM_FILTER>(const MeasurementArgs &args)
{
    return new RadiusDisplacementFilterErrorMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<RDEM_BY_TWO_SEGMENT>(const MeasurementArgs &args)
{
    return new RadiusDisplacementErrorMeasurementByTwoSegment(args.plot, args.count);
}

template<>
Measurement *createMeasurementKind<RDEM_FITER_BY_TWO_SEGMENT>(const MeasurementArgs &args)
{
    return new RDEMFiterByTwoSegment(args.plot, args.count);
}

template<>
Measurement *createMeasurementKind<RDEM_WITH_POLAR_GRAPH>(const MeasurementArgs &args)
{
    return new RDEMWithPolarGraph(args.plot);
}
