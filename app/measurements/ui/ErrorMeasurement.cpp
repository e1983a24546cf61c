#include "measurements/ui/ErrorMeasurement.h"

#include "core/Constants.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/Deviations.h"
#include "measurements/DxfDrawing.h"
#include "measurements/Geometry.h"
#include "measurements/ui/ErrorGraph.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/AdaptiveCurve.h"
#include "plot/Plot.h"

#include <QLineF>
#include <QMouseEvent>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

QVector2D singlePoint(double x, double y)
{
    return QVector2D(float(x), float(y));
}

// A few points that change whenever the curve's data change (a levelling, a calibration edit):
// the cached fit is used only while they stay as they were.
QVector<double> fingerprint(const QVector<CurveRange> &ranges)
{
    QVector<double> values;
    for (const CurveRange &r : ranges)
        values += rangeFingerprint(r);
    return values;
}

} // namespace

ErrorMeasurement::ErrorMeasurement(int kind, Plot *plot, const QString &name, int selectionsNeeded)
    : Measurement(measurementKindInfo(kind).storedType, plot, 0)
    , displayName(name)
    , items(plot, KindItems::LabelLayout::DesignationOutside)
    , selectionsNeeded(std::max(1, selectionsNeeded))
    , kind(kind)
{
    graph = new ErrorGraph(plot);
    label = items.addLabel(QStringLiteral("background"));
    label->setVisible(false);
    addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                          [this](QMouseEvent *event) { onPlotMouseRelease(event); }));
    updateUnitText();
    setGraphVisible(false);
}

ErrorMeasurement::~ErrorMeasurement()
{
    logger.log(INFO,
               (displayName + QStringLiteral(" delete with value: ") + valueText()).toStdString());
    delete graph;
}

void ErrorMeasurement::announce()
{
    emit statusText(displayName + QStringLiteral(": выделите участок измерения"));
}

QString ErrorMeasurement::valueText() const
{
    if (!known)
        return kUnknownText;
    return QString::number(value(), 'f', 6) + unitText;
}

double ErrorMeasurement::value() const
{
    return known ? result : 0.0;
}

QString ErrorMeasurement::groupName() const
{
    return measurementKindGroupText(kind);
}

void ErrorMeasurement::setLargeLabel(bool large)
{
    items.setLargeLabel(large);
}

void ErrorMeasurement::updateLabel()
{
    items.showDesignation(labelText);
}

void ErrorMeasurement::updateSelectionMarker()
{
    if (plot())
        plot()->setSelectionMarkerVisible(true);
}

void ErrorMeasurement::setSelected(bool selected)
{
    items.setSelected(selected);
    graph->setHighlighted(selected);
}

void ErrorMeasurement::updateUnits()
{
    updateUnitText();
    invalidateFit();
}

void ErrorMeasurement::updateUnitText()
{
    const QString text = displayUnitText();
    if (!text.isEmpty())
        unitText = text;
}

void ErrorMeasurement::onPlotMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    Plot *p = plot();
    if (placingLabel) {
        if (p)
            p->setSelectionMarkerVisible(true);
        finish();
        emit measumentFinished();
        emit statusText(displayName + QStringLiteral(": ") + valueText());
        return;
    }
    // The release ends a drag; one that selected no point (a click) selects nothing.
    const MeasurementSelection *current = selection(currentSelection);
    if (!current || curveRange(current->curve, current->begin, current->end).isEmpty())
        return;
    if (current->curve != selections.first().curve) {
        emit statusText(QStringLiteral("Выделите на той же трассе"));
        return;
    }
    if (selectionCount() >= selectionsNeeded) {
        emit stopSelection();
        placingLabel = true;
        if (p) {
            p->setSelectionMarkerVisible(false);
            p->replot(QCustomPlot::rpQueuedReplot);
        }
        return;
    }
    nextSelection();
}

bool ErrorMeasurement::selectedRanges(QVector<CurveRange> &ranges, QString *status) const
{
    ranges.clear();
    if (selections.isEmpty())
        return false;
    QCPCurve *curve = selections.first().curve;
    for (const MeasurementSelection &s : selections) {
        const CurveRange range = curveRange(s.curve, s.begin, s.end);
        if (range.isEmpty())
            return false;
        if (s.curve != curve) {
            if (status)
                *status = QStringLiteral("Выделите на той же трассе");
            return false;
        }
        ranges.append(range);
    }
    return true;
}

bool ErrorMeasurement::spanOf(const QVector<CurveRange> &ranges, Fit &fit)
{
    if (ranges.isEmpty())
        return false;
    int first = std::numeric_limits<int>::max();
    int last = -1;
    for (const CurveRange &r : ranges) {
        if (r.isEmpty())
            return false;
        first = std::min(first, r.begin);
        last = std::max(last, r.end - 1);
    }
    fit.curve = ranges.first().curve;
    fit.first = first;
    fit.last = last;
    // The lowest point of the stretch, its last point included.
    double lowest = std::numeric_limits<double>::max();
    const QCPCurveData *data = fit.curve->data()->constBegin();
    for (int i = first; i <= last; ++i)
        lowest = std::min(lowest, data[i].value);
    fit.spanMinimum = lowest;
    return true;
}

void ErrorMeasurement::appendPoints(const CurveRange &range, QVector<double> &xs,
                                    QVector<double> &ys)
{
    xs.reserve(xs.size() + range.size());
    ys.reserve(ys.size() + range.size());
    for (const QCPCurveData *p = range.first(); p != range.last(); ++p) {
        xs.append(p->key);
        ys.append(p->value);
    }
}

bool ErrorMeasurement::cacheMatches() const
{
    if (!cacheFilled || finished || selections.size() != cachedSelections.size())
        return false;
    for (int i = 0; i < selections.size(); ++i) {
        const MeasurementSelection &a = selections.at(i);
        const MeasurementSelection &b = cachedSelections.at(i);
        if (a.begin != b.begin || a.end != b.end || a.curve != b.curve)
            return false;
    }
    QVector<CurveRange> ranges;
    if (!selectedRanges(ranges, nullptr) || ranges.size() != cachedStorage.size())
        return false;
    for (int i = 0; i < ranges.size(); ++i) {
        if (ranges.at(i).curve->data()->constBegin() != cachedStorage.at(i))
            return false;
    }
    return fingerprint(ranges) == cachedFingerprint;
}

void ErrorMeasurement::rememberFit(const Fit &fit)
{
    cached = fit;
    cachedSelections = selections;
    cachedStorage.clear();
    QVector<CurveRange> ranges;
    // Only a fit of complete selections of a measurement being built is reused: a finished one
    // is recalculated when the curves changed under it.
    cacheFilled = !finished && selectedRanges(ranges, nullptr);
    if (!cacheFilled)
        return;
    for (const CurveRange &r : qAsConst(ranges))
        cachedStorage.append(r.curve->data()->constBegin());
    cachedFingerprint = fingerprint(ranges);
}

void ErrorMeasurement::calculate()
{
    if (!cacheMatches()) {
        Fit fit;
        if (computeFit(fit) == FitOutcome::Incomplete)
            return;
        rememberFit(fit);
    }
    const Fit &fit = cached;
    known = fit.ok && std::isfinite(fit.result);
    if (known)
        result = fit.result;
    if (!known) {
        label->setVisible(false);
        setGraphVisible(false);
        setShapeVisible(false);
        emit statusText(fit.status.isEmpty() ? displayName + QStringLiteral(": ") + valueText()
                                             : fit.status);
        return;
    }
    spanMinimum = fit.spanMinimum;
    updateLabelGeometry(fit);
    drawFit(fit);
    placeLabel();
    label->setVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + valueText());
}

void ErrorMeasurement::drawFit(const Fit &fit)
{
    showDeviationGraph(fit);
}

void ErrorMeasurement::setShapeVisible(bool visible)
{
    items.setMarksVisible(visible);
}

void ErrorMeasurement::updateLabelGeometry(const Fit &fit)
{
    const double xFirst = curveKeyAt(fit.curve, fit.first);
    const double yFirst = curveValueAt(fit.curve, fit.first);
    const double xLast = curveKeyAt(fit.curve, fit.last);
    const double yLast = curveValueAt(fit.curve, fit.last);
    const double c = double(float(cursorPosition().y()));
    // The cursor's height above the lowest point is mirrored below it: label and band always
    // lie at or below the stretch.
    labelY = c > spanMinimum ? 2.0 * spanMinimum - c : c;
    labelBaseline[0] = singlePoint(xFirst, labelY);
    labelBaseline[1] = singlePoint(xLast, labelY);
    chord[0] = singlePoint(xFirst, yFirst);
    chord[1] = singlePoint(xLast, yLast);
}

void ErrorMeasurement::setLabel(const QString &text, const QVector2D &position, double rotation,
                                int alignment)
{
    items.setLabel(text, labelText, position.toPointF(), rotation, alignment);
}

void ErrorMeasurement::placeLabel()
{
    const QLineF baseline(labelBaseline[0].toPointF(), labelBaseline[1].toPointF());
    const double rotation = baseline.angle();
    const float xFirst = labelBaseline[0].x();
    const float xLast = labelBaseline[1].x();
    const QVector2D position(xLast - (xLast - xFirst) * 0.5f, float(labelY));
    setLabel(QString(), position, rotation, Qt::AlignHCenter | Qt::AlignTop);
}

void ErrorMeasurement::showDeviationGraph(const Fit &fit)
{
    const double height = std::max(0.0, spanMinimum - double(float(labelY)));
    double lo = 0.0;
    double hi = 0.0;
    valueRange(fit.deviations, &lo, &hi);
    graph->tip0 = labelBaseline[0];
    graph->tip1 = labelBaseline[1];
    graph->base0 = chord[0];
    graph->base1 = chord[1];
    graph->setConnector(0, graph->base0, graph->tip0);
    graph->setConnector(1, graph->base1, graph->tip1);
    graph->reference = {fit.pointXs, fit.pointYs};
    graph->setData(fit.xs, mapIntoBand(fit.deviations, double(float(labelY)), height));
    graph->minValue = lo;
    graph->maxValue = hi;
    graph->draw(height, QString());
    setGraphVisible(true);
}

void ErrorMeasurement::setGraphVisible(bool visible)
{
    graph->curve()->setVisible(visible);
    graph->line(0)->setVisible(visible);
    graph->line(1)->setVisible(visible);
    if (!visible)
        graph->clearScale();
}

// --- deviation from a line ----------------------------------------------------------------------

RMSEMeasurement::RMSEMeasurement(Plot *plot)
    : ErrorMeasurement(RMSE, plot, QStringLiteral("Отклонение от прямой"), 1)
{
    logger.log(INFO, "RMSEMeasurement started");
    setSelected(true);
}

ErrorMeasurement::FitOutcome RMSEMeasurement::computeFit(Fit &fit)
{
    QVector<CurveRange> ranges;
    if (!selectedRanges(ranges, nullptr) || !spanOf(ranges, fit))
        return FitOutcome::Incomplete;
    const CurveRange &range = ranges.first();
    lineResiduals(range.first(), range.last(), fit.xs, fit.deviations);
    appendPoints(range, fit.pointXs, fit.pointYs);
    double lo = 0.0;
    double hi = 0.0;
    fit.ok = valueRange(fit.deviations, &lo, &hi);
    fit.result = hi - lo;
    return FitOutcome::Computed;
}

// --- deviation from the drawing -----------------------------------------------------------------

ErrorPlane::ErrorPlane(Plot *plot, std::function<const DxfDrawing *()> drawing)
    : ErrorMeasurement(ERROR_PLANE, plot, QStringLiteral("Отклонение от прямой"), 1)
    , drawing(std::move(drawing))
{
    logger.log(INFO, "ErrorPlane started");
    setSelected(true);
}

void ErrorPlane::calculate()
{
    const DxfDrawing *reference = drawing ? drawing() : nullptr;
    const int entities = reference ? reference->size() : 0;
    if (reference != measuredAgainst || entities != measuredEntities) {
        measuredAgainst = reference;
        measuredEntities = entities;
        hints.clear();
        invalidateFit();
    }
    ErrorMeasurement::calculate();
}

ErrorMeasurement::FitOutcome ErrorPlane::computeFit(Fit &fit)
{
    QVector<CurveRange> ranges;
    if (!selectedRanges(ranges, nullptr) || !spanOf(ranges, fit))
        return FitOutcome::Incomplete;
    const DxfDrawing *reference = drawing ? drawing() : nullptr;
    if (!reference || reference->isEmpty()) {
        // Unknown: no drawing is placed on the contour (none imported, none placed yet, or the
        // placed one was deleted).
        fit.status = displayName + QStringLiteral(": ") + kUnknownText
            + QStringLiteral(" (нет совмещённого чертежа)");
        return FitOutcome::Computed;
    }
    const CurveRange &range = ranges.first();
    if (hints.size() != range.size())
        hints.fill(-1, range.size());
    double sum = 0.0;
    int i = 0;
    for (const QCPCurveData *p = range.first(); p != range.last(); ++p, ++i) {
        const double d = reference->distanceTo(QPointF(p->key, p->value), &hints[i]);
        fit.xs.append(p->key);
        fit.deviations.append(d);
        sum += d;
    }
    appendPoints(range, fit.pointXs, fit.pointYs);
    fit.result = sum / range.size();
    double lo = 0.0;
    double hi = 0.0;
    fit.ok = valueRange(fit.deviations, &lo, &hi);
    return FitOutcome::Computed;
}

template<>
Measurement *createMeasurementKind<RMSE>(const MeasurementArgs &args)
{
    return new RMSEMeasurement(args.plot);
}

template<>
Measurement *createMeasurementKind<ERROR_PLANE>(const MeasurementArgs &args)
{
    return new ErrorPlane(args.plot, args.drawing);
}
