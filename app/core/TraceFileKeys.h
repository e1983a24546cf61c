#pragma once

#include <QString>

// The header keys of the native trace file, spelled as every stored file spells them
// ("controler_name" and "addittional_trace_count" included). The writer, the trace classes'
// header lines and the reader all take them from here, so the two sides cannot drift apart.
namespace TraceFileKeys {

// Every header.
inline const QString kTraceType = QStringLiteral("trace_type");
inline const QString kControllerName = QStringLiteral("controler_name");
inline const QString kCreationDate = QStringLiteral("creation_date");
// The header of a profile trace and of an additional trace.
inline const QString kSpeed = QStringLiteral("speed");
inline const QString kFilter = QStringLiteral("filter");
// The header of a contour trace; its calibration values are listed by ContourTrace.
inline const QString kNeedlePressing = QStringLiteral("needle_pressing");
inline const QString kMeasurementMode = QStringLiteral("measurement_mode");
// The main header of a profile file.
inline const QString kAdditionalTraceCount = QStringLiteral("addittional_trace_count");
// Every point block; the header line before the rows.
inline const QString kPointCount = QStringLiteral("point_count");

// The creation date's text, local time.
inline const QString kCreationDateFormat = QStringLiteral("dd-MM-yyyy HH:mm:ss");
// What a header without a creation date reads as.
inline const QString kCreationDateMissing = QStringLiteral("01-01-1970 00:00:00");

} // namespace TraceFileKeys
