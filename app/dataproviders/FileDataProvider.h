#pragma once

#include "dataproviders/DataProvider.h"

#include <QMutex>

class QFile;
class QIODevice;
class Settings;
struct TraceReadProgress;
struct TraceReadResult;

// Reads a trace file into the trace given to `start`. The dispatch looks at the file's first
// line: "trace_type:" with PROFILE or ADDITIONAL_TRACE goes to the native profile reader,
// CONTOUR or CONTOURPROF to the native contour reader; any other first line to the binary
// contour reader when the name ends with ".T46" (case-sensitive), otherwise to the column
// reader. A UTF-8 byte-order mark and blanks around the key and the word are ignored.
//
// Every reader fails with an ERROR log line, dataReadError(message) and a false result; the
// samples read before the failure stay in the trace. A file without a sample of its trace (no
// byte, blanks alone, a ".T46" of no samples, a native main block of no row) is no trace: it
// fails the same way, as an empty file.
class FileDataProvider : public DataProvider
{
public:
    explicit FileDataProvider(const QString &fileName);
    ~FileDataProvider() override;

    // Names the trace after the file (without its directory) and removes the point processors
    // it brought with it.
    void prepare() override;
    // The dispatch (see the class comment).
    bool obtainData() override;

    // The native trace file into the trace (a ProfileTrace for the profile kinds, a
    // ContourTrace for the contour kinds; a header naming the other class is refused).
    bool readTraceFile(const QString &path);
    bool readProfileTraceFile(const QString &path);
    // Adds the contour point conversion, then reads the native file.
    bool readContourTraceFile(const QString &path);
    // The binary ".T46" contour file.
    bool readBinaryFile(const QString &path);
    // Headerless number columns, one sample per line.
    bool readColumnsFile(const QString &path);

    // Why the last read failed, in Russian for the user ("файл пуст", "в строке 101 стоит не
    // число", ...); empty after a good read.
    QString failureReason() const;

    QString fileName;

private:
    using ContourFormatReader = TraceReadResult (*)(QIODevice &, AbstractTrace &, const Settings &,
                                                    const TraceReadProgress &);

    // Opens, reads with reader, logs "Open file" and "Close file" around a good read.
    bool readContourFormat(const QString &path, ContourFormatReader reader, bool logDetail);
    TraceReadProgress readProgress();
    // Opens the file for reading when it is a regular file; otherwise logs, signals
    // dataReadError and gives false. A FIFO or a device is never read: its read could block for
    // good, beyond the reach of `cancel`.
    bool openFile(QFile &file);
    // Logs and signals a failed read; false unless the result is good.
    bool concludeRead(const QString &path, const TraceReadResult &result, bool logDetail);
    void setFailureReason(const QString &reason);

    mutable QMutex m_failureMutex;
    QString m_failureReason;
};
