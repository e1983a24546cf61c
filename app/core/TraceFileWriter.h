#pragma once

#include <QByteArray>
#include <QString>

class AbstractTrace;
class QIODevice;

// The writers of the native trace file and of the two-column export. Every number is written in
// its shortest form that reads back to the same double (traceNumberText), so a trace saved and
// read again keeps its samples exactly.
//
// Both file writers write to a temporary file that replaces the target only when everything was
// written, so a failed save never destroys the previous file; on failure they log an ERROR line
// and return false.

// The native file of trace and, for a PROFILE trace, of its additional traces.
bool writeTraceFile(const QString &path, const AbstractTrace *trace);
// The header of one trace: "trace_type:", the kind-specific lines, "controler_name:" and
// "creation_date:", each line ending with "\n".
QString traceHeaderText(const AbstractTrace *trace);
// "point_count:" N, then N rows of the raw samples, each value followed by a tab.
void writePointBlock(QIODevice *device, const AbstractTrace *trace);

// Appends traceNumberText(value) as Latin-1 text, several times faster.
void appendTraceNumber(QByteArray &out, double value);

// The processed X and Y of trace, one "X\tY\t\n" line per sample.
bool writeColumnsExport(const QString &path, const AbstractTrace *trace);
void writeColumnsPoints(QIODevice *device, const AbstractTrace *trace);
