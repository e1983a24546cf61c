#pragma once

#include "core/ProfileTrace.h"

#include <QByteArray>
#include <QString>
#include <QVector>

class AbstractTrace;

namespace testsupport {

// Appends n samples 1 µm apart, Y = amplitude · sin(i / wavelength) + 0.001 · i (and a console
// height of 0 for a trace of three channels): long enough at 4000 samples for the 0.8 mm cut-off.
void fillSineProfile(AbstractTrace &trace, int n, double amplitude, double wavelength);

// Writes a native trace file of 4000-sample sine traces: for PROFILE a main trace (cut-off
// `cutOff`, 0.5 mm/s, controller "Петров") with `additional` additional traces of other
// amplitudes and wavelengths, for CONTOUR a contour trace. False when it was not written.
bool writeSineTraceFile(const QString &path, int kind, int additional = 0, double cutOff = 800);

// Files the readers refuse, each with the reader's status and the reason the user is told: a
// native profile file with "nan" at row 101 of 12 801, an empty file, one of blank lines alone,
// a native file and a ".T46" of no samples, a picture, a native file cut short, counts beyond
// their range, and a number column with a line over 1 MiB.
struct BadTraceFile
{
    QString name;
    QByteArray content;
    // The kind the file is opened as (PROFILE for a native profile header, else CONTOUR).
    int kind;
    QString reason;
    // The TraceReadResult::Status its reader gives.
    int status;
    // The file's extension, which chooses the reader of a file without a type line.
    QString suffix = QStringLiteral(".txt");
};
QVector<BadTraceFile> badTraceFiles();
// The columns "content" (QByteArray), "kind" (int), "reason" (QString), "status" (int) and
// "suffix" (QString) and a row per file, for a test's _data function.
void addBadTraceFileRows();

// Writes the bytes to path; false when the file could not be written.
bool writeBytes(const QString &path, const QByteArray &content);

// A profile trace read back from a native file through the file provider; the additional traces
// the reader made are freed with it.
class ReadBackTrace
{
public:
    explicit ReadBackTrace(const QString &path);
    ~ReadBackTrace();
    ReadBackTrace(const ReadBackTrace &) = delete;
    ReadBackTrace &operator=(const ReadBackTrace &) = delete;

    ProfileTrace trace;
};

} // namespace testsupport
