#pragma once

#include "processing/ParameterCatalogue.h"

#include <QMap>
#include <QString>

class AbstractTrace;
class ProfileTrace;
class Settings;

// What the profile window puts into its HTML reports.

// The trace a measurement report is about: an additional trace is reported with its main trace
// while that main trace is still among the listed traces, else on its own.
ProfileTrace *reportSubject(ProfileTrace *trace, const QMap<int, AbstractTrace *> &listed);

// The report map of a measurement report on a PROFILE trace (any other kind gives an empty map):
// "factory_name", "detail_name", "trace_count", the rows "trace[i]." + "controller_name",
// "filter", "trace_length", "speed", "creation_date" for the trace (i = 0) and each of its
// additional traces, "param_count" and "param[i].name" / "param[i].value" (value text, a blank
// and the unit) of the displayed parameters. Each row shows the trace's own cut-off and the
// span of its raw X; lengths are in millimetres whatever the display unit. A trace without
// parameter results is evaluated first with args.
QMap<QString, QString> profileReportData(ProfileTrace *trace, ExtraArgs &args,
                                         const Settings &settings);

// path with ".html" appended unless it already ends so (in any case).
QString htmlReportPath(const QString &path);
// path with ".txt" appended unless it already ends so (in any case).
QString textFilePath(const QString &path);
