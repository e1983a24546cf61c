#include "traceprocessing/ParameterEvaluation.h"

#include "core/Logger.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "processing/CutOffs.h"
#include "processing/MaterialRatio.h"
#include "processing/ProfileParameters.h"

#include <QStringList>

#include <cmath>
#include <new>

const QString kTooShortTraceText = QStringLiteral("Недостаточная длина измерения");

namespace {

// From this many samples on, a trace's waviness profile is not kept beside its roughness
// profile (evaluateEnabledParameters).
constexpr int kLongTraceSamples = 1 << 20;

} // namespace

namespace {

// What one evaluation gives: the text shown, and the value (for a family its mean) with the
// decimals the text shows; no value when the text stands for none.
struct Evaluated
{
    QString text;
    bool hasValue = false;
    double value = 0.0;
};

// evaluateParameter without its guard: an allocation that fails throws std::bad_alloc.
Evaluated evaluateParameterResult(ExtraArgs &args, ProfileTrace *trace, const QString &name)
{
    if (!trace || name.isEmpty())
        return {};

    args.amplitudeDensity = trace->amplitudeDensity;
    args.filterLength = trace->filterLength;
    args.sectionLevel = trace->sectionLevel;

    // Strictly greater: a trace of exactly two cut-offs is evaluated; a NaN lets it through.
    if (2.0 * args.filterLength > trace->length())
        return {kTooShortTraceText};

    const Algos::SamplingLengthReuse reuse;
    const ParamDef def = kParameterCatalogue.value(name);
    // A name from a hand-edited settings file that no row knows.
    if (!def.calculator)
        return {};

    const TData own = trace->profileForParameters(args.filterLength, def.profileKind);
    QVector<double> values;
    const QVector<ProfileTrace *> additional = trace->additionalTraces;
    values.reserve(additional.size() + 1);
    for (ProfileTrace *child : additional)
        values.append(
            def.calculator(child->profileForParameters(args.filterLength, def.profileKind), args));
    values.append(def.calculator(own, args));

    double sum = 0.0;
    for (double v : qAsConst(values))
        sum += v;
    const double mean = sum / values.size();

    const QString meanText = QString::number(mean, 'f', 3);
    QString text;
    if (additional.isEmpty()) {
        text = meanText;
    } else {
        double squares = 0.0;
        for (double v : qAsConst(values))
            squares += (v - mean) * (v - mean);
        const double sigma = std::sqrt(squares / values.size());
        const double percent = sigma / mean * 100.0;
        text = meanText + QStringLiteral("±") + QString::number(sigma, 'f', 3) + QStringLiteral("(")
            + QString::number(percent, 'f', 2) + QStringLiteral("%)");
    }
    trace->parameterResults.insert(name, text);
    Evaluated result;
    result.text = text;
    result.value = meanText.toDouble(&result.hasValue);
    return result;
}

QString evaluateParameterText(ExtraArgs &args, ProfileTrace *trace, const QString &name)
{
    return evaluateParameterResult(args, trace, name).text;
}

// evaluateParameterResult with its guard.
Evaluated evaluateGuarded(ExtraArgs &args, ProfileTrace *trace, const QString &name)
{
    // The profiles of a long trace take memory that may not be there: the value is then not
    // given (and nothing is stored), rather than the program ending.
    try {
        return evaluateParameterResult(args, trace, name);
    } catch (const std::bad_alloc &) {
        logger.log(ERROR, "Parameter " + name.toStdString() + " not evaluated: out of memory");
        return {};
    }
}

} // namespace

QString evaluateParameter(ExtraArgs &args, ProfileTrace *trace, const QString &name)
{
    return evaluateGuarded(args, trace, name).text;
}

bool evaluateParameterValue(ExtraArgs &args, ProfileTrace *trace, const QString &name,
                            double *value, QString *text)
{
    const Evaluated result = evaluateGuarded(args, trace, name);
    if (text)
        *text = result.text;
    if (!result.hasValue || !std::isfinite(result.value))
        return false;
    if (value)
        *value = result.value;
    return true;
}

void evaluateEnabledParameters(ExtraArgs &args, ProfileTrace *trace,
                               const std::function<bool()> &stop,
                               const std::function<bool(const QString &)> &later)
{
    if (!trace)
        return;
    trace->parameterResults.clear();
    const Settings settings = Settings::snapshot();
    const int count = settings.preferences.enabled_params_count;
    QStringList waviness;
    QStringList others;
    for (int i = 0; i < count; ++i) {
        const QString name = settings.preferences.enabled_params.value(i);
        const bool wavy = kParameterCatalogue.value(name).profileKind == WAVINESS_PROFILE;
        (wavy ? waviness : others).append(name);
    }
    // A long trace does not hold its waviness and roughness profiles at once: the waviness
    // parameters come first, and their profiles go before the roughness profile is made.
    const bool longTrace = trace->rawData && !trace->rawData->isEmpty()
        && trace->rawData->at(0).size() >= kLongTraceSamples && !waviness.isEmpty();
    // Evaluates the names; false when stopped.
    const auto evaluateNames = [&](const QStringList &list) {
        // The profiles of the trace are split and fitted once for all these parameters.
        const Algos::SamplingLengthReuse reuse;
        for (const QString &name : list) {
            if (stop && stop())
                return false;
            if (later && later(name)) {
                trace->parameterResults.insert(name, QString());
                continue;
            }
            trace->parameterResults.insert(name, evaluateParameterText(args, trace, name));
        }
        return true;
    };
    // Without the memory for a profile the evaluation ends there: the parameters it did not
    // reach have no entry.
    try {
        args.filterLength = trace->filterLength;
        if (longTrace) {
            if (!evaluateNames(waviness))
                return;
            // The additional traces of a family keep theirs for the main trace's values.
            if (!trace->parentTrace) {
                trace->wavinessProfileCache.clear();
                for (ProfileTrace *child : qAsConst(trace->additionalTraces))
                    child->wavinessProfileCache.clear();
            }
            fillMaterialRatioCurve(args, trace);
            evaluateNames(others);
            return;
        }
        fillMaterialRatioCurve(args, trace);
        evaluateNames(waviness + others);
    } catch (const std::bad_alloc &) {
        logger.log(ERROR,
                   "Parameters of " + trace->name().toStdString()
                       + " not evaluated: out of memory");
    }
}

QString parameterUnitText(const QString &name, const QString &valueText)
{
    if (valueText == kTooShortTraceText)
        return QString();
    return kParameterCatalogue.value(name).unit;
}

void reevaluateDp(ExtraArgs &args, ProfileTrace *trace)
{
    static const QString kDp = QStringLiteral("Dp");
    if (!trace || !trace->parameterResults.contains(kDp))
        return;
    trace->parameterResults.insert(kDp, evaluateParameter(args, trace, kDp));
}

bool readsViewHistogram(const QString &name)
{
    // The one row whose calculator reads ExtraArgs::amplitudeDensity.
    return name == QLatin1String("Dp");
}

void reevaluateHistogramParameters(ExtraArgs &args, ProfileTrace *trace)
{
    if (!trace)
        return;
    const QStringList names = trace->parameterResults.keys();
    for (const QString &name : names) {
        if (readsViewHistogram(name))
            trace->parameterResults.insert(name, evaluateParameter(args, trace, name));
    }
}

void reevaluateSectionParameters(ExtraArgs &args, ProfileTrace *trace)
{
    if (!trace)
        return;
    const QStringList names = trace->parameterResults.keys();
    for (const QString &name : names) {
        if (kParameterCatalogue.value(name).usesSectionLevel)
            trace->parameterResults.insert(name, evaluateParameter(args, trace, name));
    }
}

void fillMaterialRatioCurve(ExtraArgs &args, ProfileTrace *trace)
{
    if (!trace)
        return;
    args.materialRatioCurve = Algos::materialRatioCurve(
        trace->profileForParameters(args.filterLength, ROUGHNESS_PROFILE));
}

int Algos::standardCutOff(double ra)
{
    return standardCutOff(ra, Settings::snapshot().preferences.standartisation_value);
}
