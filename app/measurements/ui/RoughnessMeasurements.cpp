#include "measurements/ui/RoughnessMeasurements.h"

#include "core/AbstractTrace.h"
#include "core/Constants.h"
#include "core/ContourTrace.h"
#include "core/DisplayUnits.h"
#include "core/Logger.h"
#include "core/Settings.h"
#include "measurements/ui/MeasurementFactory.h"
#include "plot/Plot.h"
#include "processing/CutOffs.h"
#include "processing/ProfileParameters.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

namespace {

// The points of the range in micrometres with X growing: a range along decreasing X is
// reversed. False when X does not run one way only.
bool profileOf(const CurveRange &range, double factor, RoughnessProfile &profile)
{
    QVector<double> xs;
    QVector<double> ys;
    xs.reserve(range.size());
    ys.reserve(range.size());
    for (const QCPCurveData *p = range.first(); p != range.last(); ++p) {
        xs.append(p->key * factor);
        ys.append(p->value * factor);
    }
    bool rising = true;
    bool falling = true;
    for (int i = 1; i < xs.size(); ++i) {
        rising = rising && xs.at(i) > xs.at(i - 1);
        falling = falling && xs.at(i) < xs.at(i - 1);
    }
    if (!rising && !falling)
        return false;
    if (!rising) {
        std::reverse(xs.begin(), xs.end());
        std::reverse(ys.begin(), ys.end());
    }
    profile = {xs, ys};
    return true;
}

} // namespace

RoughnessMeasurement::RoughnessMeasurement(int kind, Plot *plot, const QString &name,
                                           const QVector<AbstractTrace *> &traces)
    : Measurement(kind, plot, 0)
    , traces(traces)
    , displayName(name)
    , kind(kind)
    , items(plot, KindItems::LabelLayout::DesignationOutside)
{
    createItems();
    if (plot)
        addConnection(connect(plot, &QCustomPlot::mouseRelease, this,
                              [this](QMouseEvent *event) { onPlotMouseRelease(event); }));
}

RoughnessMeasurement::~RoughnessMeasurement()
{
    logger.log(INFO,
               (displayName + QStringLiteral(" delete with value: ") + valueText()).toStdString());
}

double RoughnessMeasurement::micrometresPerDisplayUnit()
{
    return 1000.0 / unitsPerMillimetreOf(Settings::instance()->view.axis_unit);
}

QString RoughnessMeasurement::valueText() const
{
    if (!hasValue())
        return kUnknownText;
    // Roughness is in micrometres whatever the display unit.
    return QString::number(result, 'f', 4) + unitSuffixOf(1);
}

QString RoughnessMeasurement::groupName() const
{
    return measurementKindGroupText(kind);
}

void RoughnessMeasurement::setLargeLabel(bool large)
{
    items.setLargeLabel(large);
}

void RoughnessMeasurement::updateLabel()
{
    items.showDesignation(labelText);
}

void RoughnessMeasurement::updateSelectionMarker()
{
    if (plot())
        plot()->setSelectionMarkerVisible(true);
}

void RoughnessMeasurement::setSelected(bool selected)
{
    items.setSelected(selected);
}

void RoughnessMeasurement::createItems()
{
    startLine = items.addMark<QCPItemLine>();
    endLine = items.addMark<QCPItemLine>();
    dimensionLine = items.addMark<QCPItemLine>();
    if (dimensionLine) {
        const QCPLineEnding arrow(QCPLineEnding::esLineArrow, 8, 10, false);
        dimensionLine->setHead(arrow);
        dimensionLine->setTail(arrow);
    }
    label = items.addLabel();
    setSelected(true);
    setItemsVisible(false);
}

void RoughnessMeasurement::setItemsVisible(bool visible)
{
    items.setVisible(visible);
}

void RoughnessMeasurement::setLabel(const QString &text, const QPointF &position, double rotation,
                                    int alignment)
{
    items.setLabel(displayName + QStringLiteral(": ") + text, labelText, position, rotation,
                   alignment);
}

AbstractTrace *RoughnessMeasurement::selectedTrace() const
{
    if (selections.isEmpty() || !plot())
        return nullptr;
    const int index = plot()->curves().indexOf(selections.first().curve);
    return index >= 0 && index < traces.size() ? traces.at(index) : nullptr;
}

double RoughnessMeasurement::corrected(double raw, const CorrectionPoint (&table)[7]) const
{
    const auto *trace = dynamic_cast<const ContourTrace *>(selectedTrace());
    if (!trace || trace->type != CONTOURPROF)
        return raw;
    const double w = raw * trace->roughnessRatio;
    return w * roughnessCorrection(w, table);
}

bool RoughnessMeasurement::cacheMatches(const CurveRange &range) const
{
    if (!cacheFilled || finished)
        return false;
    const MeasurementSelection &s = selections.first();
    return s.begin == cachedSelection.begin && s.end == cachedSelection.end
        && s.curve == cachedSelection.curve && range.curve->data()->constBegin() == cachedStorage
        && Settings::instance()->preferences.standartisation_value == cachedStandard
        && Settings::instance()->view.axis_unit == cachedUnit
        && rangeFingerprint(range) == cachedFingerprint;
}

void RoughnessMeasurement::calculate()
{
    if (!allSelected())
        return;
    const MeasurementSelection &s = selections.first();
    const CurveRange range = curveRange(s.curve, s.begin, s.end);
    if (range.isEmpty())
        return;
    const double f = micrometresPerDisplayUnit();
    if (!cacheMatches(range)) {
        RoughnessProfile profile;
        known = profileOf(range, f, profile);
        choice = known ? chooseCutOff(
                     profile,
                     [this](const RoughnessProfile &p, double c) { return parameterValue(p, c); },
                     [this](double v) { return prescribedCutOff(v); })
                       : CutOffChoice();
        ++searches;
        // Only the choice of a measurement being built is reused: a finished one is recalculated
        // when its curve changed under it.
        cacheFilled = !finished;
        cachedSelection = s;
        cachedStorage = range.curve->data()->constBegin();
        cachedFingerprint = rangeFingerprint(range);
        cachedStandard = Settings::instance()->preferences.standartisation_value;
        cachedUnit = Settings::instance()->view.axis_unit;
    }
    result = known ? choice.value : 0.0;

    // The boundaries: the first and the last point of the range.
    const QCPCurveData &first = *range.first();
    const QCPCurveData &last = *(range.last() - 1);
    const double x0 = double(float(first.key));
    const double y0 = double(float(first.value));
    const double x1 = double(float(last.key));
    const double y1 = double(float(last.value));
    const double cy = double(float(cursorPosition().y()));
    startLine->start->setCoords(x0, y0);
    startLine->end->setCoords(x0, cy);
    endLine->start->setCoords(x1, y1);
    endLine->end->setCoords(x1, cy);
    dimensionLine->start->setCoords(x0, cy);
    dimensionLine->end->setCoords(x1, cy);

    QString text;
    if (!known) {
        text = QStringLiteral("выделите участок, монотонный по X");
    } else if (choice.missing > 0.0) {
        // The stretch is too short for the cut-off its value asks for.
        const QString more = QString::number(choice.missing / f, 'g', 6) + displayUnitText();
        text = choice.computed ? valueText() + QStringLiteral(", выделите ещё ") + more
                               : QStringLiteral("Выделите ещё ") + more;
    } else {
        text = valueText();
    }
    const QPointF position(double(float(x1 - (x1 - x0) * 0.5)), cy);
    const int alignment
        = y0 > cy ? (Qt::AlignHCenter | Qt::AlignTop) : (Qt::AlignHCenter | Qt::AlignBottom);
    setLabel(text, position, 0.0, alignment);
    setItemsVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + (hasValue() ? valueText() : text));
}

void RoughnessMeasurement::onPlotMouseRelease(QMouseEvent *event)
{
    if (event->button() != Qt::LeftButton)
        return;
    Plot *p = plot();
    if (!placingLabel) {
        // A release that selected nothing (a click) leaves the measurement selecting.
        const MeasurementSelection *s = selection(0);
        if (!s || curveRange(s->curve, s->begin, s->end).isEmpty())
            return;
        emit stopSelection();
        emit statusText(QStringLiteral("Расположите значение"));
        if (p) {
            p->setSelectionMarkerVisible(false);
            p->replot(QCustomPlot::rpQueuedReplot);
        }
        placingLabel = true;
        return;
    }
    finish();
    if (p)
        p->setSelectionMarkerVisible(true);
    emit statusText(displayName + QStringLiteral(": ") + valueText());
    emit measumentFinished();
    logger.log(INFO, "Finished");
    logger.log(INFO,
               (QStringLiteral("Result - ") + displayName + QStringLiteral(": ") + valueText())
                   .toStdString());
}

// --- Ra and Rz ----------------------------------------------------------------------------------

RAMeasurement::RAMeasurement(Plot *plot, const QVector<AbstractTrace *> &traces)
    : RoughnessMeasurement(RA, plot, QStringLiteral("Ra"), traces)
{
    logger.log(INFO, "RAMeasurement started");
}

double RAMeasurement::parameterValue(const RoughnessProfile &profile, double cutOff)
{
    return corrected(Algos::calcRa(profile, cutOff), kRaCorrectionPoints);
}

int RAMeasurement::prescribedCutOff(double value) const
{
    return Algos::standardCutOff(value, Settings::instance()->preferences.standartisation_value);
}

RZMeasurement::RZMeasurement(Plot *plot, const QVector<AbstractTrace *> &traces)
    : RoughnessMeasurement(RZ, plot, QStringLiteral("Rz"), traces)
{
    logger.log(INFO, "RAMeasurement started");
}

double RZMeasurement::parameterValue(const RoughnessProfile &profile, double cutOff)
{
    return corrected(Algos::calcRz(profile, cutOff), kRzCorrectionPoints);
}

int RZMeasurement::prescribedCutOff(double value) const
{
    return Algos::standardCutOffForRz(value,
                                      Settings::instance()->preferences.standartisation_value);
}

template<>
Measurement *createMeasurementKind<RA>(const MeasurementArgs &args)
{
    return new RAMeasurement(args.plot, args.traces);
}

template<>
Measurement *createMeasurementKind<RZ>(const MeasurementArgs &args)
{
    return new RZMeasurement(args.plot, args.traces);
}
