#include "core/TraceFileReader.h"

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/SafeFile.h"
#include "core/Settings.h"
#include "core/SystemMemory.h"
#include "core/TraceFileKeys.h"
#include "core/TraceReadChains.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QRegularExpression>
#include <QTextCodec>
#include <QtEndian>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <memory>
#include <optional>

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

// Counts the lines of a text fed in pieces that hold more than blanks, up to the first blank
// line when asked to, up to a line longer than kMaxTraceLineLength, or past a limit.
class FilledLineCounter
{
public:
    FilledLineCounter(bool upToBlank, qint64 limit)
        : m_upToBlank(upToBlank)
        , m_limit(limit)
    { }

    void feed(const char *data, qint64 size)
    {
        const char *const end = data + size;
        while (data < end && !m_done) {
            const char *lineFeed
                = static_cast<const char *>(std::memchr(data, '\n', size_t(end - data)));
            const char *stop = lineFeed ? lineFeed : end;
            for (const char *p = data; !m_filled && p < stop; ++p)
                m_filled = !isBlank(*p);
            m_length += stop - data;
            data = stop;
            if (m_length > kMaxTraceLineLength) {
                // The read refuses this line when it gets there: counting on to its end would
                // walk the rest of a file that may be gigabytes of one line.
                m_done = true;
                return;
            }
            if (lineFeed) {
                endLine();
                ++data;
            }
        }
    }
    bool done() const { return m_done; }
    // The count, with a last line that has no line feed.
    qint64 finish()
    {
        if (!m_done && m_length > 0)
            endLine();
        return m_count;
    }

private:
    void endLine()
    {
        if (m_length > kMaxTraceLineLength)
            m_done = true;
        else if (m_filled)
            m_done = ++m_count > m_limit;
        else if (m_upToBlank)
            m_done = true;
        m_filled = false;
        m_length = 0;
    }

    const bool m_upToBlank;
    const qint64 m_limit;
    bool m_filled = false;
    bool m_done = false;
    qint64 m_length = 0;
    qint64 m_count = 0;
};

// Hands out the lines of a device one at a time without copying them. A UTF-8 byte-order mark
// is skipped; a file with a UTF-16 or UTF-32 byte-order mark is decoded to UTF-8 first.
//
// A damaged or hostile file must not cost unbounded memory: a line longer than
// kMaxTraceLineLength bytes, or a UTF-16 or UTF-32 file larger than kMaxDecodedFileSize bytes,
// ends the reading with an error (`error`).
class LineReader
{
public:
    explicit LineReader(QIODevice &in)
        : m_in(in)
    {
        fill();
        if (m_buf.startsWith("\xEF\xBB\xBF")) {
            m_pos = 3;
            return;
        }
        if (m_buf.startsWith("\xFE\xFF") || m_buf.startsWith("\xFF\xFE")
            || m_buf.startsWith(QByteArray("\x00\x00\xFE\xFF", 4))) {
            while (fill()) {
                if (m_buf.size() > kMaxDecodedFileSize) {
                    fail(QStringLiteral("a UTF-16 or UTF-32 file larger than %1 bytes")
                             .arg(kMaxDecodedFileSize));
                    return;
                }
            }
            if (QTextCodec *codec = QTextCodec::codecForUtfText(m_buf, nullptr))
                m_buf = codec->toUnicode(m_buf).toUtf8();
            m_scanFrom = 0;
        }
    }

    // The next line without its line feed and without a carriage return before it; the view
    // stays valid until the next call. False when no line is left or the reading failed.
    bool next(const char *&begin, const char *&end)
    {
        if (m_putBack) {
            m_putBack = false;
            begin = m_lastBegin;
            end = m_lastEnd;
            return true;
        }
        if (!m_error.isEmpty())
            return false;
        for (;;) {
            const char *data = m_buf.constData();
            const qsizetype size = m_buf.size();
            const void *lineFeed = std::memchr(data + m_scanFrom, '\n', size_t(size - m_scanFrom));
            if (lineFeed) {
                const char *stop = static_cast<const char *>(lineFeed);
                if (stop - (data + m_pos) > kMaxTraceLineLength)
                    return tooLong();
                return take(data + m_pos, stop, stop - data + 1, begin, end);
            }
            if (size - m_pos > kMaxTraceLineLength)
                return tooLong();
            if (m_eof) {
                if (m_pos >= size)
                    return false;
                return take(data + m_pos, data + size, size, begin, end);
            }
            m_scanFrom = size - m_pos;
            m_buf.remove(0, int(m_pos));
            m_pos = 0;
            fill();
        }
    }

    // The next call of `next` gives the last line again.
    void putBack() { m_putBack = true; }

    bool atEnd()
    {
        if (m_putBack)
            return false;
        if (!m_error.isEmpty())
            return true;
        while (m_pos >= m_buf.size() && !m_eof) {
            m_buf.clear();
            m_pos = 0;
            m_scanFrom = 0;
            fill();
        }
        return m_pos >= m_buf.size();
    }

    // The lines not yet handed out that hold more than blanks, up to the first blank line when
    // `upToBlank`, counted without handing them out; -1 when the device cannot be read twice.
    // Counting stops past `limit` lines, at a line longer than kMaxTraceLineLength (which the
    // reading refuses), and when `stop` gives true.
    qint64 countFilledLinesLeft(bool upToBlank, qint64 limit, const std::function<bool()> &stop)
    {
        if (!m_error.isEmpty())
            return 0;
        if (m_in.isSequential() && !m_eof)
            return -1;
        FilledLineCounter counter(upToBlank, limit);
        if (m_putBack) {
            counter.feed(m_lastBegin, m_lastEnd - m_lastBegin);
            counter.feed("\n", 1);
        }
        counter.feed(m_buf.constData() + m_pos, m_buf.size() - m_pos);
        if (!m_eof && !counter.done()) {
            const qint64 start = m_in.pos();
            QByteArray chunk(1 << 20, Qt::Uninitialized);
            qint64 got = 0;
            while (!counter.done() && !stop() && (got = m_in.read(chunk.data(), chunk.size())) > 0)
                counter.feed(chunk.constData(), got);
            m_in.seek(start);
        }
        return counter.finish();
    }

    // The bytes not yet handed out as lines; -1 when the device does not tell its size.
    qint64 bytesLeft() const
    {
        const qint64 putBack = m_putBack ? qint64(m_lastEnd - m_lastBegin) + 1 : 0;
        const qint64 buffered = qint64(m_buf.size() - m_pos) + putBack;
        if (m_eof)
            return buffered;
        if (m_in.isSequential())
            return -1;
        return m_in.size() - m_in.pos() + buffered;
    }

    // Why the reading ended early; empty while it goes well.
    QString error() const { return m_error; }
    // The number of the line last handed out, counted from 1.
    int lineNumber() const { return m_lineNumber; }

private:
    bool take(const char *from, const char *stop, qsizetype nextPos, const char *&begin,
              const char *&end)
    {
        begin = from;
        end = stop;
        if (end > begin && end[-1] == '\r')
            --end;
        m_pos = nextPos;
        m_scanFrom = nextPos;
        m_lastBegin = begin;
        m_lastEnd = end;
        ++m_lineNumber;
        return true;
    }

    bool tooLong()
    {
        fail(QStringLiteral("line %1 longer than %2 bytes")
                 .arg(m_lineNumber + 1)
                 .arg(kMaxTraceLineLength));
        return false;
    }

    void fail(const QString &reason)
    {
        m_error = reason;
        m_buf.clear();
        m_pos = 0;
        m_scanFrom = 0;
        m_eof = true;
    }

    // Appends the next chunk of the device; false (and end of file) when nothing came.
    bool fill()
    {
        if (m_eof)
            return false;
        constexpr qint64 kChunk = 1 << 20;
        // A small file needs no megabyte of buffer.
        const qint64 want
            = m_in.isSequential() ? kChunk : qBound<qint64>(1, m_in.bytesAvailable(), kChunk);
        const int old = m_buf.size();
        m_buf.resize(old + int(want));
        const qint64 got = m_in.read(m_buf.data() + old, want);
        if (got <= 0) {
            m_buf.resize(old);
            m_eof = true;
            return false;
        }
        m_buf.resize(old + int(got));
        return true;
    }

    QIODevice &m_in;
    QByteArray m_buf;
    qsizetype m_pos = 0;
    qsizetype m_scanFrom = 0;
    const char *m_lastBegin = nullptr;
    const char *m_lastEnd = nullptr;
    bool m_putBack = false;
    bool m_eof = false;
    int m_lineNumber = 0;
    QString m_error;
};

bool isBlankLine(const char *begin, const char *end)
{
    for (const char *p = begin; p < end; ++p) {
        if (!isBlank(*p))
            return false;
    }
    return true;
}

// The end of the number-shaped token at p, by the rules QTextStream uses for doubles: sign,
// digits, '.', digits, exponent, or the words nan and inf. p itself when there is none.
const char *scanNumberToken(const char *p, const char *end)
{
    enum State {
        Init,
        Sign,
        Mantissa,
        Dot,
        Abscissa,
        ExpMark,
        ExpSign,
        Exponent,
        Nan1,
        Nan2,
        Inf1,
        Inf2,
        NanInf,
        Done
    };
    enum Input { None, InSign, InDigit, InDot, InExp, InI, InN, InF, InA, InT };
    static const unsigned char table[13][10] = {
        // None  Sign     Digit     Dot       Exp      I     N       F       A     T
        {Init, Sign, Mantissa, Dot, Init, Inf1, Nan1, Init, Init, Init}, // Init
        {Init, Init, Mantissa, Dot, Init, Inf1, Init, Init, Init, Init}, // Sign
        {Done, Done, Mantissa, Dot, ExpMark, Init, Init, Init, Init, Init}, // Mantissa
        {Init, Init, Abscissa, Init, Init, Init, Init, Init, Init, Init}, // Dot
        {Done, Done, Abscissa, Done, ExpMark, Init, Init, Init, Init, Init}, // Abscissa
        {Init, ExpSign, Exponent, Init, Init, Init, Init, Init, Init, Init}, // ExpMark
        {Init, Init, Exponent, Init, Init, Init, Init, Init, Init, Init}, // ExpSign
        {Done, Done, Exponent, Done, Done, Init, Init, Init, Init, Init}, // Exponent
        {Init, Init, Init, Init, Init, Init, Init, Init, Nan2, Init}, // Nan1
        {Init, Init, Init, Init, Init, Init, NanInf, Init, Init, Init}, // Nan2
        {Init, Init, Init, Init, Init, Init, Inf2, Init, Init, Init}, // Inf1
        {Init, Init, Init, Init, Init, Init, Init, NanInf, Init, Init}, // Inf2
        {Done, Init, Init, Init, Init, Init, Init, Init, Init, Init}, // NanInf
    };
    int state = Init;
    const char *q = p;
    for (; q < end; ++q) {
        Input input = None;
        switch (*q) {
        case '0':
        case '1':
        case '2':
        case '3':
        case '4':
        case '5':
        case '6':
        case '7':
        case '8':
        case '9':
            input = InDigit;
            break;
        case '+':
        case '-':
            input = InSign;
            break;
        case '.':
            input = InDot;
            break;
        case 'e':
        case 'E':
            input = InExp;
            break;
        case 'i':
        case 'I':
            input = InI;
            break;
        case 'n':
        case 'N':
            input = InN;
            break;
        case 'f':
        case 'F':
            input = InF;
            break;
        case 'a':
        case 'A':
            input = InA;
            break;
        case 't':
        case 'T':
            input = InT;
            break;
        default:
            break;
        }
        state = table[state][input];
        if (state == Init || state == Done)
            break;
    }
    return q;
}

enum class NumberRead { Ok, NotANumber, NotFinite };

NumberRead convertToken(const char *begin, const char *end, double &value)
{
    if (begin == end)
        return NumberRead::NotANumber;
    // std::from_chars takes no leading plus sign.
    const char *p = (*begin == '+') ? begin + 1 : begin;
    const auto result = std::from_chars(p, end, value);
    if (result.ec == std::errc::result_out_of_range)
        return NumberRead::NotFinite;
    if (result.ec != std::errc() || result.ptr != end)
        return NumberRead::NotANumber;
    return std::isfinite(value) ? NumberRead::Ok : NumberRead::NotFinite;
}

// Reads up to `count` numbers of a row into values; numbers missing at the end are 0. Stops at
// the first token that is not a finite number and leaves it and every later value 0.
NumberRead readRow(const char *p, const char *end, double *values, int count)
{
    for (int c = 0; c < count; ++c)
        values[c] = 0.0;
    for (int c = 0; c < count; ++c) {
        while (p < end && isBlank(*p))
            ++p;
        if (p == end)
            return NumberRead::Ok;
        const char *stop = scanNumberToken(p, end);
        const NumberRead read = convertToken(p, stop, values[c]);
        if (read != NumberRead::Ok) {
            values[c] = 0.0;
            return read;
        }
        p = stop;
    }
    return NumberRead::Ok;
}

QString lineText(const char *begin, const char *end)
{
    return QString::fromUtf8(begin, int(end - begin)).trimmed();
}

TraceReadResult failure(TraceReadResult::Status status, const QString &detail)
{
    TraceReadResult result;
    result.status = status;
    result.detail = detail;
    return result;
}

// The bytes one sample takes in the trace: a double per channel in each of the three data sets.
qint64 bytesPerSample(const AbstractTrace &trace)
{
    return qint64(trace.processedData->size()) * 3 * qint64(sizeof(double));
}

// Room in the trace for `more` samples after the `present` ones, or the reason why there is
// none: more samples than a trace holds, or than the memory available takes. `upperBound`: the
// count is of lines that may turn out not to be samples.
TraceReadResult makeRoom(AbstractTrace &trace, qint64 present, qint64 more, bool upperBound)
{
    const QString upTo = upperBound ? QStringLiteral("up to ") : QString();
    if (present + more > kMaxTraceSamples) {
        return failure(TraceReadResult::TooLarge,
                       QStringLiteral("%1%2 samples: more than the %3 a trace holds")
                           .arg(upTo)
                           .arg(present + more)
                           .arg(kMaxTraceSamples));
    }
    const qint64 needed = more * bytesPerSample(trace);
    // Small blocks (the additional traces, short files) need not ask the system.
    constexpr qint64 kAlwaysAvailable = 16 << 20;
    const qint64 available = needed < kAlwaysAvailable ? -1 : availableMemoryBytes();
    if (available >= 0 && needed > available) {
        return failure(
            TraceReadResult::TooLarge,
            QStringLiteral("%1%2 samples need %3 MiB, beyond the %4 MiB of memory available")
                .arg(upTo)
                .arg(more)
                .arg(needed >> 20)
                .arg(available >> 20));
    }
    trace.reserveSamples(int(present + more));
    return {};
}

// A count of rows that the rest of the file cannot hold (every row takes at least its line
// feed, the last one excepted) is damaged; so it is never taken as room to make.
TraceReadResult checkRowCount(const QString &what, qint64 rows, qint64 bytesLeft)
{
    if (bytesLeft < 0 || rows <= bytesLeft + 1)
        return {};
    return failure(TraceReadResult::Damaged,
                   QStringLiteral("%1 %2, but the file ends %3 bytes later")
                       .arg(what)
                       .arg(rows)
                       .arg(bytesLeft));
}

// Appends samples to the main trace and announces full batches.
class SampleSink
{
public:
    SampleSink(AbstractTrace &trace, const TraceReadProgress &progress)
        : m_trace(trace)
        , m_progress(progress)
    { }

    void append(QVector<double> &sample)
    {
        m_trace.appendPoint(sample);
        ++m_count;
        if (m_count % kTraceBatchSize == 0 && m_progress.batchReady)
            m_progress.batchReady(m_count - kTraceBatchSize, kTraceBatchSize);
    }

    bool stopRequested() const { return m_progress.stopRequested && m_progress.stopRequested(); }
    // The samples appended so far.
    int count() const { return m_count; }

private:
    AbstractTrace &m_trace;
    const TraceReadProgress &m_progress;
    int m_count = 0;
};

// The reading ended early because of a bound of the line reader.
TraceReadResult readerFailure(const LineReader &lines)
{
    return failure(TraceReadResult::TooLong, lines.error());
}

TraceReadResult headerLineTooLong(const LineReader &lines)
{
    return failure(TraceReadResult::TooLong,
                   QStringLiteral("header line %1 longer than %2 bytes")
                       .arg(lines.lineNumber())
                       .arg(kMaxHeaderLineLength));
}

TraceReadResult cancelled()
{
    return failure(TraceReadResult::Cancelled, QStringLiteral("cancelled"));
}

// Room for the samples of a read whose count no header gives: one for every line left that may
// be a sample (up to the first blank line when `upToBlank`). The lines are counted before they
// are read; counting stops once there are more than the trace or the memory could take.
TraceReadResult makeRoomForLines(LineReader &lines, AbstractTrace &trace, bool upToBlank,
                                 const std::function<bool()> &stop)
{
    const qint64 present = trace.rawData->at(0).size();
    qint64 limit = kMaxTraceSamples - present;
    const qint64 available = availableMemoryBytes();
    if (available >= 0)
        limit = std::min(limit, available / bytesPerSample(trace));
    const qint64 rows = lines.countFilledLinesLeft(upToBlank, limit, stop);
    if (stop())
        return cancelled();
    if (rows > limit) {
        return failure(TraceReadResult::TooLarge,
                       QStringLiteral("more than %1 samples, beyond the %2 a trace holds or the "
                                      "%3 MiB of memory available")
                           .arg(limit)
                           .arg(kMaxTraceSamples)
                           .arg(available >> 20));
    }
    if (rows <= 0)
        return {};
    return makeRoom(trace, present, rows, true);
}

TraceReadResult badRow(int line, NumberRead read)
{
    return failure(TraceReadResult::BadNumber,
                   QStringLiteral("line %1: %2")
                       .arg(line)
                       .arg(read == NumberRead::NotFinite ? QStringLiteral("number not finite")
                                                          : QStringLiteral("not a number")));
}

int traceTypeOfWord(const QString &word)
{
    if (word == QLatin1String("PROFILE"))
        return PROFILE;
    if (word == QLatin1String("ADDITIONAL_TRACE"))
        return ADDITIONAL_TRACE;
    if (word == QLatin1String("CONTOURPROF"))
        return CONTOURPROF;
    return CONTOUR;
}

// The header values of one native header with the reader's defaults.
class HeaderValues
{
public:
    void set(const QString &key, const QString &value) { m_values.insert(key, value); }
    bool contains(const QString &key) const { return m_values.contains(key); }
    QString text(const QString &key, const QString &fallback) const
    {
        return m_values.value(key, fallback);
    }
    // A number of the header, or fallback when the key is missing; a value that does not
    // convert gives 0. Not finite numbers are remembered as an error.
    double number(const QString &key, double fallback)
    {
        if (!m_values.contains(key))
            return fallback;
        bool ok = false;
        const double value = m_values.value(key).toDouble(&ok);
        if (!ok)
            return 0.0;
        if (!std::isfinite(value)) {
            m_notFiniteKey = key;
            return 0.0;
        }
        return value;
    }
    int integer(const QString &key, int fallback) const
    {
        return m_values.contains(key) ? m_values.value(key).toInt() : fallback;
    }
    // A count (of rows, of additional traces): fallback when the key is missing, 0 for a value
    // that is not a whole number (as QString::toInt converts it), and nothing for a whole number
    // beyond the range of int, which no file of the program holds.
    std::optional<int> count(const QString &key, int fallback) const
    {
        if (!m_values.contains(key))
            return fallback;
        const QString value = m_values.value(key);
        bool ok = false;
        const int converted = value.toInt(&ok);
        if (ok)
            return converted;
        static const QRegularExpression wholeNumber(QStringLiteral("^[+-]?[0-9]+$"));
        if (wholeNumber.match(value).hasMatch())
            return std::nullopt;
        return 0;
    }
    QString notFiniteKey() const { return m_notFiniteKey; }

private:
    QHash<QString, QString> m_values;
    QString m_notFiniteKey;
};

using TraceFileKeys::kAdditionalTraceCount;
using TraceFileKeys::kPointCount;

// How one header of a native file ended.
enum class HeaderEnd {
    // With its point_count line; the rows follow.
    PointCount,
    // Before a line without ':', which is put back: it is the block's first row.
    Row,
    // At the end of the file.
    FileEnd
};

// Reads one header of a native file, the main header and an additional trace's block header
// alike: "key:value" lines, the key the text before the first ':' and the value the text after
// it (so a creation date keeps the colons of its time), both trimmed; a later line with the
// same key wins. The header ends with its point_count line or before the first line without ':'.
// Fails only at a line beyond the bounds of the line reader.
TraceReadResult readHeader(LineReader &lines, HeaderValues &header, HeaderEnd &headerEnd)
{
    const char *begin = nullptr;
    const char *end = nullptr;
    headerEnd = HeaderEnd::FileEnd;
    while (lines.next(begin, end)) {
        if (end - begin > kMaxHeaderLineLength)
            return headerLineTooLong(lines);
        const QString text = lineText(begin, end);
        const int colon = text.indexOf(QLatin1Char(':'));
        if (colon < 0) {
            lines.putBack();
            headerEnd = HeaderEnd::Row;
            break;
        }
        const QString key = text.left(colon).trimmed();
        header.set(key, text.mid(colon + 1).trimmed());
        if (key == kPointCount) {
            headerEnd = HeaderEnd::PointCount;
            break;
        }
    }
    if (!lines.error().isEmpty())
        return readerFailure(lines);
    return {};
}

// The creation date of a header, local time; a date that does not parse is invalid.
QDateTime headerCreationDate(const HeaderValues &header)
{
    return QDateTime::fromString(
        header.text(TraceFileKeys::kCreationDate, TraceFileKeys::kCreationDateMissing),
        TraceFileKeys::kCreationDateFormat);
}

TraceReadResult noSamples()
{
    return failure(TraceReadResult::Empty, QStringLiteral("no samples"));
}

TraceReadResult countOutOfRange(const QString &key, const HeaderValues &values)
{
    return failure(
        TraceReadResult::Damaged,
        QStringLiteral("%1 %2 beyond the range of counts").arg(key, values.text(key, QString())));
}

// Reads the rows of one point block into trace: `count` rows when count >= 0 (every line is a
// row; a file that ends before them is damaged), otherwise the lines up to the first blank one.
// Room for the rows is made before they are read. The first row is the reader's next line.
// `what` names the block in messages.
TraceReadResult readRows(LineReader &lines, int count, AbstractTrace &trace,
                         const std::function<void(QVector<double> &)> &append,
                         const std::function<bool()> &stop, const QString &what)
{
    const int channels = trace.processedData->size();
    const qint64 present = trace.rawData->at(0).size();
    TraceReadResult room;
    if (count >= 0) {
        room = checkRowCount(what + QStringLiteral(" point_count"), count, lines.bytesLeft());
        if (room.ok() && count > 0)
            room = makeRoom(trace, present, count, false);
    } else {
        room = makeRoomForLines(lines, trace, true, stop);
    }
    if (!room.ok())
        return room;
    QVector<double> sample(channels);
    const char *begin = nullptr;
    const char *end = nullptr;
    int row = 0;
    for (; count < 0 || row < count; ++row) {
        if (!lines.next(begin, end))
            break;
        if (count < 0 && isBlankLine(begin, end))
            break;
        if (stop())
            return cancelled();
        sample.resize(channels);
        const NumberRead read = readRow(begin, end, sample.data(), channels);
        // In the native format a token that is not a number reads as 0 with the rest of its row;
        // only a number that is not finite is refused.
        if (read == NumberRead::NotFinite)
            return badRow(row + 1, read);
        append(sample);
    }
    if (!lines.error().isEmpty())
        return readerFailure(lines);
    if (count >= 0 && row < count) {
        return failure(TraceReadResult::Damaged,
                       QStringLiteral("%1 point_count %2, but the file ends after %3 rows")
                           .arg(what)
                           .arg(count)
                           .arg(row));
    }
    return {};
}

} // namespace

QString traceTypeWord(int type)
{
    switch (type) {
    case CONTOUR:
        return QStringLiteral("CONTOUR");
    case CONTOURPROF:
        return QStringLiteral("CONTOURPROF");
    case PROFILE:
        return QStringLiteral("PROFILE");
    case ADDITIONAL_TRACE:
        return QStringLiteral("ADDITIONAL_TRACE");
    default:
        return QString();
    }
}

int traceTypeOfFirstLine(QIODevice &in)
{
    // A type line is short: a binary file without line feeds is not read whole to find it.
    QByteArray head = in.read(4096);
    QBuffer headBuffer(&head);
    headBuffer.open(QIODevice::ReadOnly);
    LineReader lines(headBuffer);
    const char *begin = nullptr;
    const char *end = nullptr;
    if (!lines.next(begin, end))
        return -1;
    const QString text = lineText(begin, end);
    const int colon = text.indexOf(QLatin1Char(':'));
    if (colon < 0 || text.leftRef(colon).trimmed() != QLatin1String("trace_type"))
        return -1;
    const QString word = text.mid(colon + 1).trimmed();
    for (int type : {CONTOUR, CONTOURPROF, PROFILE, ADDITIONAL_TRACE}) {
        if (word == traceTypeWord(type))
            return type;
    }
    return -1;
}

int traceTypeOfFile(const QString &path)
{
    QFile file(path);
    if (openRegularFile(file) != RegularFileOpen::Opened)
        return -1;
    return traceTypeOfFirstLine(file);
}

TraceReadResult readNativeTrace(QIODevice &in, const QString &path, AbstractTrace &trace,
                                const Settings &settings, const TraceReadProgress &progress)
{
    using namespace TraceFileKeys;
    LineReader lines(in);

    HeaderValues header;
    HeaderEnd headerEnd = HeaderEnd::FileEnd;
    TraceReadResult result = readHeader(lines, header, headerEnd);
    if (!result.ok())
        return result;

    const int type = traceTypeOfWord(header.text(kTraceType, QStringLiteral("CONTOUR")));
    auto *profile = dynamic_cast<ProfileTrace *>(&trace);
    auto *contour = dynamic_cast<ContourTrace *>(&trace);
    if (isProfileKind(type) ? !profile : !contour) {
        return failure(TraceReadResult::WrongTraceClass,
                       QStringLiteral("the header names a %1 trace").arg(traceTypeWord(type)));
    }

    // The family's speed and cut-off: the main trace's, and every additional trace's.
    const double speed = header.number(kSpeed, settings.movement.current_speed * 0.25 + 0.25);
    const double filter = header.number(kFilter, filterLengthSetting(settings));
    const auto &calibrationKeys = ContourTrace::headerValues();
    std::array<double, ContourTrace::kHeaderValueCount> calibration;
    for (size_t i = 0; i < calibrationKeys.size(); ++i) {
        calibration[i] = header.number(calibrationKeys[i].key,
                                       settings.calibration.*calibrationKeys[i].setting);
    }
    if (!header.notFiniteKey().isEmpty()) {
        return failure(TraceReadResult::BadNumber,
                       QStringLiteral("header value %1 not finite").arg(header.notFiniteKey()));
    }

    trace.setType(type);
    if (profile) {
        profile->speed = speed;
        profile->filterLength = filter;
        profile->medianEnabled = settings.preferences.meadian_filter;
        profile->medianWindow = settings.preferences.meadian_filter_value;
    } else {
        const QString pressingDefault
            = settings.movement.needle_pressing == MovementSettings::E_PRESSING_UP
            ? QStringLiteral("u")
            : QStringLiteral("d");
        contour->needlePressing
            = header.text(kNeedlePressing, pressingDefault) == QLatin1String("u")
            ? MovementSettings::E_PRESSING_UP
            : MovementSettings::E_PRESSING_DOWN;
        for (size_t i = 0; i < calibrationKeys.size(); ++i)
            contour->*calibrationKeys[i].member = calibration[i];
        contour->measurementMode
            = header.integer(kMeasurementMode, settings.device.measurement_mode);
    }
    const QString controller = header.text(kControllerName, QStringLiteral("no name"));
    trace.controllerName = controller;
    trace.creationDate = headerCreationDate(header);
    trace.setFilePath(path);

    // Without point_count the rows run up to a blank line; a count of 0 or below means none.
    const std::optional<int> pointCount = header.count(kPointCount, -1);
    if (!pointCount)
        return countOutOfRange(kPointCount, header);
    const std::optional<int> additionalCount
        = type == PROFILE ? header.count(kAdditionalTraceCount, 0) : 0;
    if (!additionalCount)
        return countOutOfRange(kAdditionalTraceCount, header);
    if (*additionalCount > kMaxAdditionalTraces) {
        return failure(TraceReadResult::TooLarge,
                       QStringLiteral("%1 %2: more than the %3 additional traces a file holds")
                           .arg(kAdditionalTraceCount)
                           .arg(*additionalCount)
                           .arg(kMaxAdditionalTraces));
    }

    SampleSink sink(trace, progress);
    const auto stop = [&sink] {
        return sink.stopRequested();
    };
    result = readRows(
        lines, header.contains(kPointCount) ? std::max(*pointCount, 0) : -1, trace,
        [&sink](QVector<double> &sample) { sink.append(sample); }, stop,
        QStringLiteral("main trace"));
    if (!result.ok())
        return result;
    // A trace without samples is no trace, whatever the file holds after it.
    if (sink.count() == 0)
        return noSamples();
    if (type != PROFILE)
        return result;

    for (int k = 0; k < *additionalCount; ++k) {
        // A file cut short must not read as complete, nor a damaged count make empty traces
        // beyond the end of the file.
        if (lines.atEnd()) {
            return failure(TraceReadResult::Damaged,
                           QStringLiteral("%1 %2, but the file ends after %3 additional traces")
                               .arg(kAdditionalTraceCount)
                               .arg(*additionalCount)
                               .arg(k));
        }
        HeaderValues block;
        HeaderEnd blockEnd = HeaderEnd::FileEnd;
        result = readHeader(lines, block, blockEnd);
        if (!result.ok())
            return result;
        if (blockEnd == HeaderEnd::FileEnd) {
            return failure(
                TraceReadResult::Damaged,
                QStringLiteral("additional trace %1: the file ends inside its header").arg(k + 1));
        }
        const std::optional<int> rows = block.count(kPointCount, 0);
        if (!rows)
            return countOutOfRange(kPointCount, block);

        // An additional trace is a member of the main trace's family: it takes the family's
        // speed, cut-off and controller, and keeps its own creation date.
        auto additional = std::make_unique<ProfileTrace>();
        additional->setType(ADDITIONAL_TRACE);
        additional->speed = speed;
        additional->filterLength = filter;
        additional->controllerName = controller;
        additional->creationDate = headerCreationDate(block);
        additional->medianEnabled = settings.preferences.meadian_filter;
        additional->medianWindow = settings.preferences.meadian_filter_value;
        additional->setFilePath(path);
        additional->setName(path);
        ProfileTrace *child = additional.get();
        if (*rows > 0) {
            result = readRows(
                lines, *rows, *child,
                [child](QVector<double> &sample) { child->appendPoint(sample); }, stop,
                QStringLiteral("additional trace %1").arg(k + 1));
        } else if (blockEnd == HeaderEnd::Row) {
            // The line that ended the header was the block's first row; the block takes none.
            const char *begin = nullptr;
            const char *end = nullptr;
            lines.next(begin, end);
        }
        addAdditionalTraceChain(*child, settings);
        profile->addAdditionalTrace(additional.release());
        if (!result.ok())
            return result;
    }
    if (!lines.error().isEmpty())
        return readerFailure(lines);
    return {};
}

namespace {

// The contour-file readers fill a ContourTrace; a ProfileTrace that reaches them gets the X and
// Y samples alone, without the contour members.
void markAsContour(AbstractTrace &trace, const Settings &settings)
{
    if (auto *contour = dynamic_cast<ContourTrace *>(&trace)) {
        contour->setType(CONTOUR);
        contour->needlePressing = settings.movement.needle_pressing;
    }
}

template<typename T>
T readLittleEndian(const char *data)
{
    return qFromLittleEndian<T>(data);
}

} // namespace

TraceReadResult readBinaryContour(QIODevice &in, AbstractTrace &trace, const Settings &settings,
                                  const TraceReadProgress &progress)
{
    // Layout: 36 + 320 + 4 + 80 bytes not used, N in the next 80-byte block, the X step in the
    // 160-byte block after it, 20 bytes not used, then the samples and an 80-byte block that
    // starts with the Y scale.
    constexpr qint64 kHeaderSize = 700;
    constexpr qint64 kCountOffset = 440;
    constexpr qint64 kStepOffset = 520;
    constexpr qint64 kTrailerSize = 80;

    markAsContour(trace, settings);
    const QByteArray header = in.read(kHeaderSize);
    if (header.size() < kHeaderSize) {
        return failure(
            TraceReadResult::Damaged,
            QStringLiteral("%1 bytes, shorter than the 780-byte layout").arg(header.size()));
    }
    const qint32 count = readLittleEndian<qint32>(header.constData() + kCountOffset);
    const double step = readLittleEndian<double>(header.constData() + kStepOffset);
    if (count < 0)
        return failure(TraceReadResult::Damaged, QStringLiteral("sample count %1").arg(count));
    const qint64 needed = kHeaderSize + 2 * qint64(count) + kTrailerSize;
    if (!in.isSequential() && in.size() < needed) {
        return failure(
            TraceReadResult::Damaged,
            QStringLiteral("%1 bytes, %2 samples need %3").arg(in.size()).arg(count).arg(needed));
    }
    if (count == 0)
        return noSamples();
    // The count is vouched for by the file's size (a sequential device by the reads below).
    if (count > 0) {
        const TraceReadResult room = makeRoom(trace, trace.rawData->at(0).size(), count, false);
        if (!room.ok())
            return room;
    }
    const QByteArray samples = in.read(2 * qint64(count));
    const QByteArray trailer = in.read(kTrailerSize);
    if (samples.size() < 2 * qint64(count) || trailer.size() < kTrailerSize) {
        return failure(TraceReadResult::Damaged,
                       QStringLiteral("file ends inside the %1 samples or the Y scale").arg(count));
    }
    const double scale = readLittleEndian<double>(trailer.constData());
    if (!std::isfinite(step) || !std::isfinite(scale)) {
        return failure(TraceReadResult::BadNumber,
                       QStringLiteral("X step %1 or Y scale %2 not finite").arg(step).arg(scale));
    }

    const int channels = trace.processedData->size();
    SampleSink sink(trace, progress);
    QVector<double> sample(channels);
    for (qint32 i = 0; i < count; ++i) {
        if (sink.stopRequested())
            return cancelled();
        const double x = i * step;
        const double y = readLittleEndian<qint16>(samples.constData() + 2 * qint64(i)) * scale;
        if (!std::isfinite(x) || !std::isfinite(y)) {
            return failure(TraceReadResult::BadNumber,
                           QStringLiteral("sample %1 not finite").arg(i));
        }
        sample.resize(channels);
        sample.fill(0.0);
        sample[0] = x;
        sample[1] = y;
        sink.append(sample);
    }
    return {};
}

TraceReadResult readNumberColumns(QIODevice &in, AbstractTrace &trace, const Settings &settings,
                                  const TraceReadProgress &progress)
{
    markAsContour(trace, settings);
    LineReader lines(in);
    const int channels = trace.processedData->size();
    SampleSink sink(trace, progress);
    // Room for every line that may be a sample; what repeats are left out is given back after
    // the read.
    const TraceReadResult room
        = makeRoomForLines(lines, trace, false, [&sink] { return sink.stopRequested(); });
    if (!room.ok())
        return room;
    QVector<double> sample(channels);
    bool havePrevious = false;
    double previous = 0.0;
    const char *begin = nullptr;
    const char *end = nullptr;
    for (int line = 1; lines.next(begin, end); ++line) {
        if (isBlankLine(begin, end))
            continue;
        if (sink.stopRequested())
            return cancelled();
        sample.resize(channels);
        const NumberRead read = readRow(begin, end, sample.data(), channels);
        if (read != NumberRead::Ok)
            return badRow(line, read);
        // A run of lines with the same first value gives one sample, the first of the run.
        if (havePrevious && sample.at(0) == previous)
            continue;
        havePrevious = true;
        previous = sample.at(0);
        sink.append(sample);
    }
    if (!lines.error().isEmpty())
        return readerFailure(lines);
    // Nothing but blank lines, or nothing at all.
    if (sink.count() == 0)
        return noSamples();
    return {};
}
