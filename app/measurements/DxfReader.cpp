#include "measurements/DxfReader.h"

#include <QIODevice>

#include <charconv>
#include <cmath>
#include <cstring>
#include <string_view>

namespace {

constexpr double kPi = 3.14159265358979323846;
// The largest distance allowed between an ellipse and the polyline it is measured as, in
// millimetres (0.1 µm).
constexpr double kEllipseChordToleranceMm = 1e-4;
// Upper bound of the polyline points of all ellipses of one drawing (32 MB of points).
constexpr int kMaxOutlinePoints = 1 << 21;
// Files larger than this are refused rather than read into memory.
constexpr qint64 kMaxFileSize = qint64(1) << 30;
// How many group codes are read between two progress reports.
constexpr int kPairsPerReport = 4096;
// Coordinates and lengths beyond this (in the display unit: a kilometre in nanometres) are
// refused, so that no difference or square of them overflows.
constexpr double kMaxCoordinate = 1e15;
// Problem lines kept one by one; the rest are counted.
constexpr int kMaxProblemLines = 100;

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t' || s.back() == '\r'))
        s.remove_suffix(1);
    return s;
}

QString text(std::string_view s)
{
    constexpr int kShown = 40;
    const QString t = QString::fromUtf8(s.data(), int(std::min<size_t>(s.size(), kShown)));
    return s.size() > size_t(kShown) ? t + QStringLiteral("...") : t;
}

bool parseNumber(std::string_view s, double *out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), *out);
    return result.ec == std::errc() && result.ptr == s.data() + s.size() && std::isfinite(*out);
}

bool parseInt(std::string_view s, int *out)
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    if (s.empty())
        return false;
    const auto result = std::from_chars(s.data(), s.data() + s.size(), *out);
    return result.ec == std::errc() && result.ptr == s.data() + s.size();
}

bool isEntityName(std::string_view s)
{
    if (s.empty())
        return false;
    for (const char c : s) {
        if (!((c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return s.front() >= 'A' && s.front() <= 'Z';
}

struct Pair
{
    int code = 0;
    std::string_view value;
};

// The group code / value pairs of a DXF text, one line each.
class PairReader
{
public:
    explicit PairReader(const QByteArray &bytes)
        : m_pos(bytes.constData())
        , m_end(bytes.constData() + bytes.size())
    { }

    enum Status { Ok, End, BadCode, MissingValue };

    Status next(Pair *pair)
    {
        std::string_view codeLine;
        if (!nextLine(&codeLine))
            return End;
        const std::string_view code = trimmed(codeLine);
        if (code.empty() && m_pos == m_end)
            return End;
        if (!parseInt(code, &pair->code)) {
            m_badCode = code;
            return BadCode;
        }
        std::string_view value;
        if (!nextLine(&value))
            return MissingValue;
        pair->value = trimmed(value);
        return Ok;
    }

    // After a line that should have been a group code and is not: passes over lines up to the
    // next entity start (a "0" line followed by a name in capitals) and reads that pair.
    Status resync(Pair *pair)
    {
        std::string_view line;
        while (nextLine(&line)) {
            if (trimmed(line) != "0")
                continue;
            const char *mark = m_pos;
            const int markLine = m_line;
            std::string_view name;
            if (!nextLine(&name))
                return End;
            if (isEntityName(trimmed(name))) {
                pair->code = 0;
                pair->value = trimmed(name);
                return Ok;
            }
            m_pos = mark;
            m_line = markLine;
        }
        return End;
    }

    // Line number (1-based) of the last line read.
    int line() const { return m_line; }
    // Bytes read so far.
    qint64 consumed(const QByteArray &bytes) const { return m_pos - bytes.constData(); }
    std::string_view badCode() const { return m_badCode; }

private:
    bool nextLine(std::string_view *line)
    {
        if (m_pos >= m_end)
            return false;
        const char *eol
            = static_cast<const char *>(std::memchr(m_pos, '\n', size_t(m_end - m_pos)));
        const char *stop = eol ? eol : m_end;
        *line = std::string_view(m_pos, size_t(stop - m_pos));
        m_pos = eol ? eol + 1 : m_end;
        ++m_line;
        return true;
    }

    const char *m_pos;
    const char *m_end;
    int m_line = 0;
    std::string_view m_badCode;
};

struct Vertex
{
    QPointF point;
    double bulge = 0.0;
};

// The pairs of one entity. A polyline can hold millions of them, so each is kept in 12 bytes:
// its code and where its value lies in the file text, which outlives the reading.
class PairList
{
public:
    void append(const Pair &pair)
    {
        if (m_items.isEmpty())
            m_base = pair.value.data();
        m_items.append(quint32(pair.code));
        m_items.append(quint32(pair.value.data() - m_base));
        m_items.append(quint32(pair.value.size()));
    }
    int size() const { return m_items.size() / 3; }
    Pair at(int i) const
    {
        const quint32 *stored = m_items.constData() + 3 * i;
        return Pair {qint32(stored[0]), std::string_view(m_base + stored[1], stored[2])};
    }

    class const_iterator
    {
    public:
        const_iterator(const PairList *list, int i)
            : m_list(list)
            , m_i(i)
        { }
        Pair operator*() const { return m_list->at(m_i); }
        const_iterator &operator++()
        {
            ++m_i;
            return *this;
        }
        bool operator!=(const const_iterator &other) const { return m_i != other.m_i; }

    private:
        const PairList *m_list;
        int m_i;
    };
    const_iterator begin() const { return const_iterator(this, 0); }
    const_iterator end() const { return const_iterator(this, size()); }

private:
    const char *m_base = nullptr;
    // Per pair: the code, the offset of the value from the first pair's value (a file is read
    // whole into one QByteArray, so every offset fits) and the value's length. Plain numbers,
    // so the vector grows in place.
    QVector<quint32> m_items;
};

// One entity's pairs, from its "0" line to the next one.
struct EntityRecord
{
    std::string_view type;
    int line = 0;
    PairList pairs;
};

class Reader
{
public:
    Reader(double unitFactor, const DxfReadProgress &progress)
        : m_factor(unitFactor)
        , m_chordTolerance(kEllipseChordToleranceMm * unitFactor)
        , m_progress(progress)
    { }

    DxfReadResult read(const QByteArray &bytes);

private:
    // Ends the entity in m_current (a polyline's vertices wait for its SEQEND).
    void finishEntity();
    void finishPolyline();
    void readLine(const EntityRecord &e);
    void readCircle(const EntityRecord &e, bool isArc);
    void readEllipse(const EntityRecord &e);
    void readLwPolyline(const EntityRecord &e);
    void addPolyline(const EntityRecord &e, const QVector<Vertex> &vertices, bool closed);
    void addSegment(const Vertex &a, const QPointF &b);

    // The first value of a code in the entity as a number; false (with a problem) when it is
    // missing or not a number.
    bool number(const EntityRecord &e, int code, double *out);
    bool optionalNumber(const EntityRecord &e, int code, double fallback, double *out);
    bool coordinate(const EntityRecord &e, int code, double *out);
    // The flags of code 70 (0 when the entity has none).
    bool flagsOf(const EntityRecord &e, int *out);
    bool scaled(const EntityRecord &e, int code, double value, double *out);
    void problem(const EntityRecord &e, const QString &what);
    void problem(const QString &what);
    // Reports progress from inside an entity whose pairs are many (a long polyline) every
    // kPairsPerReport-th pair, as far as the end of the entity (which the reading has reached,
    // so the reports never run back); false once the read is to stop.
    bool goOn(int pairIndex, const EntityRecord &e);

    double m_factor;
    double m_chordTolerance;
    const DxfReadProgress &m_progress;
    // The text being read, for the progress reports from inside an entity.
    const QByteArray *m_bytes = nullptr;
    // A progress report from inside an entity answered false.
    bool m_cancelled = false;
    DxfReadResult m_result;
    int m_problemCount = 0;
    int m_outlinePoints = 0;

    EntityRecord m_current;
    bool m_polylineOpen = false;
    EntityRecord m_polyline;
    QVector<Vertex> m_polylineVertices;
    bool m_polylineBroken = false;
};

QString entityName(const EntityRecord &e)
{
    return QStringLiteral("%1 at line %2").arg(text(e.type)).arg(e.line);
}

void Reader::problem(const QString &what)
{
    ++m_problemCount;
    if (m_problemCount <= kMaxProblemLines)
        m_result.problems.append(what);
}

void Reader::problem(const EntityRecord &e, const QString &what)
{
    problem(QStringLiteral("%1 skipped: %2").arg(entityName(e), what));
}

bool Reader::goOn(int pairIndex, const EntityRecord &e)
{
    if (m_cancelled)
        return false;
    if (!m_progress || !m_bytes || pairIndex % kPairsPerReport != kPairsPerReport - 1)
        return true;
    const std::string_view last = e.pairs.at(e.pairs.size() - 1).value;
    if (!m_progress(last.data() + last.size() - m_bytes->constData(), m_bytes->size()))
        m_cancelled = true;
    return !m_cancelled;
}

bool Reader::number(const EntityRecord &e, int code, double *out)
{
    for (const Pair &p : e.pairs) {
        if (p.code != code)
            continue;
        if (parseNumber(p.value, out))
            return true;
        problem(e,
                QStringLiteral("the value \"%1\" of code %2 is not a number")
                    .arg(text(p.value))
                    .arg(code));
        return false;
    }
    problem(e, QStringLiteral("code %1 is missing").arg(code));
    return false;
}

bool Reader::optionalNumber(const EntityRecord &e, int code, double fallback, double *out)
{
    for (const Pair &p : e.pairs) {
        if (p.code == code)
            return number(e, code, out);
    }
    *out = fallback;
    return true;
}

bool Reader::flagsOf(const EntityRecord &e, int *out)
{
    *out = 0;
    for (const Pair &p : e.pairs) {
        if (p.code != 70)
            continue;
        if (parseInt(p.value, out))
            return true;
        problem(e, QStringLiteral("the flags \"%1\" are not a whole number").arg(text(p.value)));
        return false;
    }
    return true;
}

bool Reader::scaled(const EntityRecord &e, int code, double value, double *out)
{
    *out = value * m_factor;
    if (std::abs(*out) <= kMaxCoordinate)
        return true;
    problem(e, QStringLiteral("the value of code %1 is out of range").arg(code));
    return false;
}

bool Reader::coordinate(const EntityRecord &e, int code, double *out)
{
    double v;
    return number(e, code, &v) && scaled(e, code, v, out);
}

void Reader::readLine(const EntityRecord &e)
{
    double x1, y1, x2, y2;
    if (coordinate(e, 10, &x1) && coordinate(e, 20, &y1) && coordinate(e, 11, &x2)
        && coordinate(e, 21, &y2))
        m_result.drawing.append(DxfEntity::line(QPointF(x1, y1), QPointF(x2, y2)));
}

void Reader::readCircle(const EntityRecord &e, bool isArc)
{
    double cx, cy, r;
    if (!coordinate(e, 10, &cx) || !coordinate(e, 20, &cy) || !coordinate(e, 40, &r))
        return;
    if (!(r > 0.0)) {
        problem(e, QStringLiteral("the radius is not positive"));
        return;
    }
    if (!isArc) {
        m_result.drawing.append(DxfEntity::circle(QPointF(cx, cy), r));
        return;
    }
    double start, end;
    if (number(e, 50, &start) && number(e, 51, &end))
        m_result.drawing.append(DxfEntity::arc(QPointF(cx, cy), r, start, end));
}

void Reader::readEllipse(const EntityRecord &e)
{
    double cx, cy, mx, my, ratio, start, end;
    if (!coordinate(e, 10, &cx) || !coordinate(e, 20, &cy) || !coordinate(e, 11, &mx)
        || !coordinate(e, 21, &my) || !number(e, 40, &ratio) || !optionalNumber(e, 41, 0.0, &start)
        || !optionalNumber(e, 42, 2.0 * kPi, &end))
        return;
    if (!(ratio > 0.0) || !(ratio <= 1.0) || !(std::hypot(mx, my) > 0.0)) {
        problem(e, QStringLiteral("the axes are not positive"));
        return;
    }
    // The size of the outline is known before its points are computed: an ellipse beyond the
    // limits costs nothing.
    const int segments = DxfEntity::ellipseSegments(
        std::hypot(mx, my), DxfEntity::ellipseSpan(start, end), m_chordTolerance);
    if (segments == 0) {
        problem(e, QStringLiteral("the ellipse is too large to be measured"));
        return;
    }
    if (m_outlinePoints + segments + 1 > kMaxOutlinePoints) {
        problem(e, QStringLiteral("the drawing holds too many ellipse points"));
        return;
    }
    const DxfEntity ellipse
        = DxfEntity::ellipse(QPointF(cx, cy), QPointF(mx, my), ratio, start, end, m_chordTolerance);
    m_outlinePoints += ellipse.outline.size();
    m_result.drawing.append(ellipse);
}

void Reader::addSegment(const Vertex &a, const QPointF &b)
{
    if (a.point == b)
        return;
    // A bulge is the tangent of a quarter of the arc's included angle, positive for an arc that
    // runs counter-clockwise from a to b. Bulges too small to tell from a straight segment are
    // taken as one.
    if (std::abs(a.bulge) < 1e-9) {
        m_result.drawing.append(DxfEntity::line(a.point, b));
        return;
    }
    const double k = a.bulge;
    const QPointF chord = b - a.point;
    const double len = std::hypot(chord.x(), chord.y());
    const QPointF leftNormal(-chord.y() / len, chord.x() / len);
    const QPointF centre = (a.point + b) / 2.0 + leftNormal * (len * (1.0 - k * k) / (4.0 * k));
    const double radius = len * (1.0 + k * k) / (4.0 * std::abs(k));
    // An arc too flat to have a centre within reach is drawn as its chord.
    if (!(radius <= kMaxCoordinate) || !(std::abs(centre.x()) <= kMaxCoordinate)
        || !(std::abs(centre.y()) <= kMaxCoordinate)) {
        m_result.drawing.append(DxfEntity::line(a.point, b));
        return;
    }
    const double angleA
        = std::atan2(a.point.y() - centre.y(), a.point.x() - centre.x()) * 180.0 / kPi;
    const double angleB = std::atan2(b.y() - centre.y(), b.x() - centre.x()) * 180.0 / kPi;
    if (k > 0.0)
        m_result.drawing.append(DxfEntity::arc(centre, radius, angleA, angleB));
    else
        m_result.drawing.append(DxfEntity::arc(centre, radius, angleB, angleA));
}

void Reader::addPolyline(const EntityRecord &e, const QVector<Vertex> &vertices, bool closed)
{
    const int n = vertices.size();
    if (n < 2) {
        problem(e, QStringLiteral("fewer than two vertices"));
        return;
    }
    const int segments = closed ? n : n - 1;
    for (int i = 0; i < segments; ++i)
        addSegment(vertices.at(i), vertices.at((i + 1) % n).point);
}

void Reader::readLwPolyline(const EntityRecord &e)
{
    int flags = 0;
    if (!flagsOf(e, &flags))
        return;
    // First pass: every vertex must be whole and every number good, or the polyline is left out;
    // nothing is kept but the count.
    int count = 0;
    bool haveY = true;
    int index = 0;
    for (const Pair p : e.pairs) {
        if (!goOn(index++, e))
            return;
        double v;
        switch (p.code) {
        case 10:
            if (!haveY) {
                problem(e, QStringLiteral("a vertex has no code 20"));
                return;
            }
            if (!parseNumber(p.value, &v)) {
                problem(e,
                        QStringLiteral("the value \"%1\" of code 10 is not a number")
                            .arg(text(p.value)));
                return;
            }
            if (!scaled(e, 10, v, &v))
                return;
            ++count;
            haveY = false;
            break;
        case 20:
        case 42:
            if (count == 0 || (p.code == 20 && haveY)) {
                problem(e, QStringLiteral("code %1 comes before its code 10").arg(p.code));
                return;
            }
            if (!parseNumber(p.value, &v)) {
                problem(e,
                        QStringLiteral("the value \"%1\" of code %2 is not a number")
                            .arg(text(p.value))
                            .arg(p.code));
                return;
            }
            if (p.code == 20) {
                if (!scaled(e, 20, v, &v))
                    return;
                haveY = true;
            }
            break;
        default:
            break;
        }
    }
    if (!haveY) {
        problem(e, QStringLiteral("a vertex has no code 20"));
        return;
    }
    if (count < 2) {
        problem(e, QStringLiteral("fewer than two vertices"));
        return;
    }
    // Second pass: the segments, each as soon as its end vertex is whole (a vertex's bulge, code
    // 42, may follow its code 20 up to the next code 10). Bit 1 closes the polyline; bit 128 is
    // linetype generation and closes nothing.
    Vertex first;
    Vertex previous;
    Vertex current;
    int seen = 0;
    index = 0;
    for (const Pair p : e.pairs) {
        if (!goOn(index++, e))
            return;
        double v = 0.0;
        if (p.code != 10 && p.code != 20 && p.code != 42)
            continue;
        parseNumber(p.value, &v);
        if (p.code == 10) {
            if (seen > 0) {
                if (seen > 1)
                    addSegment(previous, current.point);
                else
                    first = current;
                previous = current;
            }
            current = Vertex {QPointF(v * m_factor, 0.0), 0.0};
            ++seen;
        } else if (p.code == 20) {
            current.point.setY(v * m_factor);
        } else {
            current.bulge = v;
        }
    }
    addSegment(previous, current.point);
    if (flags & 1)
        addSegment(current, first.point);
}

void Reader::finishPolyline()
{
    if (!m_polylineOpen)
        return;
    m_polylineOpen = false;
    if (m_polylineBroken)
        return;
    int bits = 0;
    if (!flagsOf(m_polyline, &bits))
        return;
    // Polygon meshes (16) and polyface meshes (64) are surfaces, not outlines.
    if (bits & (16 | 64)) {
        problem(m_polyline, QStringLiteral("meshes are not read"));
        return;
    }
    addPolyline(m_polyline, m_polylineVertices, (bits & 1) != 0);
}

void Reader::finishEntity()
{
    const EntityRecord &e = m_current;
    if (e.type.empty())
        return;
    if (m_polylineOpen) {
        if (e.type == "VERTEX") {
            double x, y, bulge;
            int flags = 0;
            if (m_polylineBroken)
                return;
            if (!flagsOf(e, &flags)) {
                m_polylineBroken = true;
                return;
            }
            // Spline frame control points (16) are not on the drawn outline.
            if (flags & 16)
                return;
            if (!coordinate(e, 10, &x) || !coordinate(e, 20, &y)
                || !optionalNumber(e, 42, 0.0, &bulge)) {
                m_polylineBroken = true;
                return;
            }
            m_polylineVertices.append(Vertex {QPointF(x, y), bulge});
            return;
        }
        finishPolyline();
        if (e.type == "SEQEND")
            return;
    }
    if (e.type == "LINE") {
        readLine(e);
    } else if (e.type == "CIRCLE") {
        readCircle(e, false);
    } else if (e.type == "ARC") {
        readCircle(e, true);
    } else if (e.type == "ELLIPSE") {
        readEllipse(e);
    } else if (e.type == "LWPOLYLINE") {
        readLwPolyline(e);
    } else if (e.type == "VERTEX" || e.type == "SEQEND") {
        problem(e, QStringLiteral("it belongs to no POLYLINE"));
    } else if (e.type == "POLYLINE") {
        m_polylineOpen = true;
        m_polylineBroken = false;
        m_polyline = e;
        m_polylineVertices.clear();
    }
}

DxfReadResult Reader::read(const QByteArray &bytes)
{
    m_bytes = &bytes;
    if (bytes.startsWith("AutoCAD Binary DXF")) {
        problem(QStringLiteral("binary DXF files are not read; save the drawing as ASCII DXF"));
        return m_result;
    }
    PairReader pairs(bytes);
    bool sectionName = false;
    bool inEntities = false;
    bool sawEntities = false;
    Pair pair;
    int sinceReport = 0;
    for (;;) {
        if (m_progress && ++sinceReport == kPairsPerReport) {
            sinceReport = 0;
            if (!m_progress(pairs.consumed(bytes), bytes.size())) {
                DxfReadResult cancelled;
                cancelled.problems.append(dxfReadCancelledText());
                return cancelled;
            }
        }
        const PairReader::Status status = pairs.next(&pair);
        if (status == PairReader::BadCode) {
            // The entity around a damaged group code is left out; reading goes on at the next
            // entity.
            if (inEntities && !m_current.type.empty())
                problem(m_current,
                        QStringLiteral("line %1: \"%2\" is not a group code")
                            .arg(pairs.line())
                            .arg(text(pairs.badCode())));
            else
                problem(QStringLiteral("line %1: \"%2\" is not a group code")
                            .arg(pairs.line())
                            .arg(text(pairs.badCode())));
            m_current = EntityRecord();
            if (m_polylineOpen)
                m_polylineBroken = true;
            if (pairs.resync(&pair) != PairReader::Ok)
                break;
        } else if (status == PairReader::MissingValue) {
            problem(QStringLiteral("line %1: the file ends after a group code").arg(pairs.line()));
            break;
        } else if (status == PairReader::End) {
            break;
        }
        if (!inEntities) {
            if (pair.code == 0) {
                sectionName = pair.value == "SECTION";
            } else if (pair.code == 2 && sectionName && pair.value == "ENTITIES") {
                inEntities = true;
                sawEntities = true;
                sectionName = false;
            } else {
                sectionName = false;
            }
            continue;
        }
        if (pair.code != 0) {
            if (!m_current.type.empty())
                m_current.pairs.append(pair);
            continue;
        }
        finishEntity();
        m_current = EntityRecord();
        if (pair.value == "ENDSEC") {
            finishPolyline();
            inEntities = false;
            break;
        }
        m_current.type = pair.value;
        m_current.line = pairs.line() - 1;
    }
    if (inEntities) {
        // Whatever was read completely before the cut is kept.
        finishEntity();
        finishPolyline();
        problem(QStringLiteral("the file ends inside the ENTITIES section"));
    }
    if (!sawEntities)
        problem(QStringLiteral("the file has no ENTITIES section"));
    if (m_problemCount > kMaxProblemLines)
        m_result.problems.append(
            QStringLiteral("%1 more problems").arg(m_problemCount - kMaxProblemLines));
    // A read stopped inside an entity ends as one stopped between entities.
    if (m_cancelled) {
        DxfReadResult cancelled;
        cancelled.problems.append(dxfReadCancelledText());
        return cancelled;
    }
    m_result.drawing.squeeze();
    return m_result;
}

} // namespace

QString dxfReadCancelledText()
{
    return QStringLiteral("the read was cancelled");
}

DxfReadResult readDxf(const QByteArray &bytes, double unitFactor, const DxfReadProgress &progress)
{
    Reader reader(unitFactor, progress);
    return reader.read(bytes);
}

DxfReadResult readDxf(QIODevice *device, double unitFactor, const DxfReadProgress &progress)
{
    if (!device || !device->isReadable()) {
        DxfReadResult result;
        result.problems.append(QStringLiteral("the file cannot be read"));
        return result;
    }
    if (!device->isSequential() && device->size() > kMaxFileSize) {
        DxfReadResult result;
        result.problems.append(QStringLiteral("the file is larger than 1 GB"));
        return result;
    }
    return readDxf(device->readAll(), unitFactor, progress);
}
