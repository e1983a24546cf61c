#pragma once

#include <QByteArray>
#include <QString>

#include <functional>

class AbstractTrace;
class QIODevice;
class Settings;

// The readers of the trace-file formats: the native text file, the binary ".T46" contour file
// and headerless number columns. They read from a device and append to a trace; opening the
// file, logging and the provider's signals are the file provider's part.
//
// Numbers in rows are read as QTextStream reads doubles (the longest prefix of the token that
// has the form of a number, '.' as decimal point), but with std::from_chars, which gives the same
// doubles several times faster. A number that is not finite (nan, inf, or out of the range of
// double) is an error in every format.

// The main trace's samples are announced in batches of this many.
inline constexpr int kTraceBatchSize = 500;

// Bounds that keep a damaged or hostile text file from costing unbounded memory: the longest
// line of any text trace file, the longest header line of a native file (a key and its value),
// and the largest UTF-16 or UTF-32 file (such a file is decoded whole). A file beyond any of them
// is refused with a TooLong result.
inline constexpr int kMaxTraceLineLength = 1 << 20;
inline constexpr int kMaxHeaderLineLength = 1 << 16;
inline constexpr int kMaxDecodedFileSize = 256 << 20;

// The most additional traces a native profile file may hold: far more than anyone records for
// one trace. A file whose header counts more is refused before anything is read, so that a
// damaged count cannot make hundreds of thousands of empty traces.
inline constexpr int kMaxAdditionalTraces = 1000;
// The most samples a trace holds: each channel is one container of doubles, which holds at most
// 2^28 of them.
inline constexpr int kMaxTraceSamples = 250000000;

// What a reader reports while it reads.
struct TraceReadProgress
{
    // Samples [from, from + count) of the trace are complete; count is kTraceBatchSize.
    std::function<void(int from, int count)> batchReady;
    // Polled between samples; true stops the read.
    std::function<bool()> stopRequested;
};

struct TraceReadResult
{
    enum Status {
        Ok,
        // A number that is not a number (column files) or that is not finite (every format).
        BadNumber,
        // The header names a trace kind of the other class than the trace being filled.
        WrongTraceClass,
        // A ".T46" file shorter than its layout or with a negative sample count; a native file
        // with fewer rows or additional traces than its header counts, or with a count beyond
        // the range of int.
        Damaged,
        // A line, a header line or a UTF-16 or UTF-32 file beyond its bound.
        TooLong,
        // More samples than a trace holds or than the memory available takes (refused before
        // they are read), or more additional traces than kMaxAdditionalTraces.
        TooLarge,
        // No sample of the (main) trace: an empty file or one of blank lines, a ".T46" of no
        // samples, a native file whose main block holds no row.
        Empty,
        Cancelled
    };
    Status status = Ok;
    // What went wrong, for the log.
    QString detail;

    bool ok() const { return status == Ok; }
};

// Reads a native trace file into trace (a ProfileTrace for PROFILE and ADDITIONAL_TRACE
// headers, a ContourTrace for CONTOUR and CONTOURPROF). path becomes the file path of the trace
// and the name and path of its additional traces. Missing header keys take their defaults from
// settings. A header ends at its "point_count:" line or at the first line without ':'.
//
// The main header and the block header of each additional trace are read by one rule (a key
// is the text before the first ':'). An additional trace takes the main header's speed, cut-off
// and controller, which are its family's, and keeps its own creation date.
//
// A main block without a row is refused (Empty). A block that ends before its "point_count"
// rows, and a file that ends before its "addittional_trace_count" blocks, are damaged (a save
// cut short): the read fails, keeping what was read. Every reader makes room for the samples before
// it reads them, for the whole count where the header gives one that the file's size can hold, and
// refuses samples that the trace or the memory available cannot hold.
TraceReadResult readNativeTrace(QIODevice &in, const QString &path, AbstractTrace &trace,
                                const Settings &settings, const TraceReadProgress &progress);

// Reads a ".T46" file: N at byte 440 (int32), the X step at 520 (binary64), N int16 samples at
// 700, the Y scale right after them (binary64), all little-endian. A file shorter than
// 780 + 2 N bytes, or with N < 0, is refused before anything is appended; so is one of N = 0
// (Empty).
TraceReadResult readBinaryContour(QIODevice &in, AbstractTrace &trace, const Settings &settings,
                                  const TraceReadProgress &progress);

// Reads number columns, one sample per line, as many numbers as the trace has channels (missing
// trailing numbers are 0). Blank lines are skipped; a line whose first number equals the first
// number of the last kept line is skipped; a token that is not a number ends the read. A file
// without a sample is refused (Empty).
TraceReadResult readNumberColumns(QIODevice &in, AbstractTrace &trace, const Settings &settings,
                                  const TraceReadProgress &progress);

// The trace kind (E_ANALISIS_TYPE) named by the first line of a trace file: "trace_type:"
// followed by one of the four type words, with a UTF-8 byte-order mark and blanks around the
// key and the word ignored. -1 when the first line names none.
int traceTypeOfFirstLine(QIODevice &in);
int traceTypeOfFile(const QString &path);

// The type word of a trace kind; empty for a value that is none of the four.
QString traceTypeWord(int type);
