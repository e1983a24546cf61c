#include "profile/ProfileReports.h"

#include "core/DisplayUnits.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "traceprocessing/ParameterEvaluation.h"

ProfileTrace *reportSubject(ProfileTrace *trace, const QMap<int, AbstractTrace *> &listed)
{
    if (!trace || trace->type != ADDITIONAL_TRACE || !trace->parentTrace)
        return trace;
    ProfileTrace *parent = trace->parentTrace;
    // The pointer is only followed when the main trace is still listed under its id.
    for (AbstractTrace *candidate : listed) {
        if (candidate == parent)
            return parent;
    }
    return trace;
}

namespace {

// The report gives lengths in millimetres, whatever the display unit.
QString millimetres(double micrometres)
{
    return QString::number(micrometres * unitsPerMicrometreOf(MillimetreUnit), 'g', 6)
        + QLatin1Char(' ') + unitSuffixOf(MillimetreUnit);
}

void addTraceRows(QMap<QString, QString> &data, int index, const ProfileTrace *trace)
{
    const QString prefix = QStringLiteral("trace[%1].").arg(index);
    data.insert(prefix + QStringLiteral("controller_name"), trace->controllerName);
    data.insert(prefix + QStringLiteral("filter"), millimetres(trace->filterLength));
    const TData &raw = *trace->rawData;
    const double span
        = raw.isEmpty() || raw.at(0).isEmpty() ? 0.0 : raw.at(0).last() - raw.at(0).first();
    data.insert(prefix + QStringLiteral("trace_length"), millimetres(span));
    data.insert(prefix + QStringLiteral("speed"),
                QString::number(trace->speed, 'g', 6) + QStringLiteral(" мм/с"));
    data.insert(prefix + QStringLiteral("creation_date"), trace->creationDateText());
}

} // namespace

QMap<QString, QString> profileReportData(ProfileTrace *trace, ExtraArgs &args,
                                         const Settings &settings)
{
    QMap<QString, QString> data;
    if (!trace || trace->type != PROFILE)
        return data;
    if (trace->parameterResults.isEmpty())
        evaluateEnabledParameters(args, trace);

    data.insert(QStringLiteral("factory_name"), settings.service.factory_name);
    data.insert(QStringLiteral("detail_name"), settings.service.default_trace_file_name);
    addTraceRows(data, 0, trace);
    for (int i = 0; i < trace->additionalTraces.size(); ++i)
        addTraceRows(data, i + 1, trace->additionalTraces.at(i));
    data.insert(QStringLiteral("trace_count"), QString::number(trace->additionalTraces.size() + 1));

    const PreferencesSettings &preferences = settings.preferences;
    data.insert(QStringLiteral("param_count"), QString::number(preferences.enabled_params_count));
    for (int i = 0; i < preferences.enabled_params_count; ++i) {
        const QString name = preferences.enabled_params.value(i);
        const QString prefix = QStringLiteral("param[%1].").arg(i);
        data.insert(prefix + QStringLiteral("name"), name);
        // A message in place of a value takes no unit.
        const QString value = trace->parameterResults.value(name);
        data.insert(prefix + QStringLiteral("value"),
                    value == kTooShortTraceText
                        ? value
                        : value + QLatin1Char(' ') + parameterUnitText(name, value));
    }
    return data;
}

QString htmlReportPath(const QString &path)
{
    if (path.endsWith(QStringLiteral(".html"), Qt::CaseInsensitive))
        return path;
    return path + QStringLiteral(".html");
}

QString textFilePath(const QString &path)
{
    if (path.endsWith(QStringLiteral(".txt"), Qt::CaseInsensitive))
        return path;
    return path + QStringLiteral(".txt");
}
