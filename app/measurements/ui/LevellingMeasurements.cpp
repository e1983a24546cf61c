#include "measurements/ui/LevellingMeasurements.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "measurements/Geometry.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"

#include <QDebug>
#include <QMouseEvent>

#include <cmath>

namespace {

const QString kRefusedText = QStringLiteral("Выделите участок для выравнивания");

Algos::RMS fitRanges(const CurveRange &a, const CurveRange &b = CurveRange())
{
    if (a.isEmpty())
        return Algos::RMS();
    return Algos::RMS(a.first(), a.last(), b.first(), b.last());
}

} // namespace

LayFlatMeasurement::LayFlatMeasurement(Plot *plot)
    : LayFlatMeasurement(LAY_FLAT, plot)
{
    if (plot)
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this](QMouseEvent *event) { onPlotMouseRelease(event); }));
}

LayFlatMeasurement::LayFlatMeasurement(int kind, Plot *plot)
    : Measurement(kind, plot, 0)
{ }

QString LayFlatMeasurement::name() const
{
    return QStringLiteral("Выравнивание");
}

QString LayFlatMeasurement::valueText() const
{
    return kUnknownText;
}

void LayFlatMeasurement::updateSelectionMarker()
{
    if (plot())
        plot()->setSelectionMarkerVisible(false);
}

void LayFlatMeasurement::calculate()
{
    if (!allSelected())
        return;
    const MeasurementSelection &s = selections.first();
    fit = fitRanges(curveRange(s.curve, s.begin, s.end));
}

bool LayFlatMeasurement::fitIsUsable() const
{
    return fit.isValid() && std::isfinite(fit.coefficient(0)) && std::isfinite(fit.coefficient(1));
}

void LayFlatMeasurement::onPlotMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    logger.log(INFO, "LayFlat released ");
    // The fit of the range the release reported, not only of the last move.
    calculate();
    if (!fitIsUsable()) {
        emit statusText(kRefusedText);
        return;
    }
    emit stopSelection();
    double angle = 0.0;
    QPointF centre;
    levellingRotation(angle, centre);
    levelCurves(angle, centre);
}

void LayFlatMeasurement::levellingRotation(double &angle, QPointF &centre) const
{
    // The turn that makes the fitted line horizontal: a rising line gives a negative angle.
    angle = -std::atan(fit.coefficient(1));
    const MeasurementSelection &s = selections.first();
    centre = QPointF(curveKeyAt(s.curve, int(s.begin)), curveValueAt(s.curve, int(s.begin)));
}

void LayFlatMeasurement::levelCurves(double angle, const QPointF &centre)
{
    // The manager turns every curve and item of the plot in place when it hears of the turn
    // (the points keep their order and parameter), so that reper points, lines and drawings
    // turn with the traces.
    finish();
    emit setNewAngleAndCenterRot(angle, centre);
    emit graphDataChanged();
    emit measumentFinished();
    emit statusText(QStringLiteral("Укладка готова: [")
                    + QString::number(fit.coefficient(0), 'g', 6) + QStringLiteral(", ")
                    + QString::number(fit.coefficient(1), 'g', 6) + QLatin1Char(']'));
}

LayFlatByTwoMeasurement::LayFlatByTwoMeasurement(Plot *plot, double *angleTarget,
                                                 QPointF *centreTarget)
    : LayFlatMeasurement(LAY_FLAT_BY_TWO, plot)
    , angleTarget(angleTarget)
    , centreTarget(centreTarget)
{
    if (plot)
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this](QMouseEvent *event) { onPlotMouseRelease(event); }));
}

void LayFlatByTwoMeasurement::calculate()
{
    if (!allSelected() || selectionCount() != 2) {
        emit statusText(QStringLiteral("Выделите две линии"));
        return;
    }
    const MeasurementSelection &a = selections.at(0);
    const MeasurementSelection &b = selections.at(1);
    const CurveRange first = curveRange(a.curve, a.begin, a.end);
    const CurveRange second = curveRange(b.curve, b.begin, b.end);
    fit = second.isEmpty() ? Algos::RMS() : fitRanges(first, second);
}

void LayFlatByTwoMeasurement::onPlotMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    logger.log(INFO, "LayFlatByTwo released ");
    const MeasurementSelection *current = selection(currentSelection);
    if (!current || curveRange(current->curve, current->begin, current->end).isEmpty()) {
        // A click without a drag selects nothing; the next drag fills the same range.
        emit statusText(kRefusedText);
        return;
    }
    if (selectionCount() < 2) {
        nextSelection();
        return;
    }
    calculate();
    if (!fitIsUsable()) {
        qDebug() << "Invalid RMS";
        // Both ranges are chosen again.
        selections.clear();
        currentSelection = 0;
        emit statusText(kRefusedText);
        return;
    }
    emit stopSelection();
    if (plot())
        plot()->replot(QCustomPlot::rpQueuedReplot);
    double angle = 0.0;
    QPointF centre;
    levellingRotation(angle, centre);
    // The creator's storage receives the rotation before the curves turn.
    if (angleTarget)
        *angleTarget = angle;
    if (centreTarget)
        *centreTarget = centre;
    levelCurves(angle, centre);
}

template<>
Measurement *createMeasurementKind<LAY_FLAT>(const MeasurementArgs &args)
{
    return new LayFlatMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<LAY_FLAT_BY_TWO>(const MeasurementArgs &args)
{
    return new LayFlatByTwoMeasurement(args.plot, args.levelAngle, args.levelCentre);
}
