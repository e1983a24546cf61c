#include "measurements/DxfDrawing.h"

#include "core/DisplayUnits.h"

#include <QtConcurrent>

#include <QLineF>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <limits>
#include <numeric>
#include <vector>

namespace {

constexpr double kPi = 3.14159265358979323846;
constexpr double kTwoPi = 2.0 * kPi;

double toRadians(double degrees)
{
    return degrees * kPi / 180.0;
}

// An angle brought into [0, period).
double wrap(double angle, double period)
{
    double r = std::fmod(angle, period);
    if (r < 0.0)
        r += period;
    if (r >= period)
        r = 0.0;
    return r;
}

double length(const QPointF &v)
{
    return std::hypot(v.x(), v.y());
}

// Whether every point of a rectangle lies farther from p than `distance`, also as computed: the
// distance to a segment inside the rectangle can come out a rounding error below the distance
// to the rectangle, so the test keeps a margin of a thousand times that error.
bool atLeastFrom(const QPointF &p, const QRectF &r, double distance)
{
    const double dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const double dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    const double reach = distance * (1.0 + 1e-12)
        + 1e-13
            * (std::fabs(p.x()) + std::fabs(p.y()) + std::fabs(r.left()) + std::fabs(r.right())
               + std::fabs(r.top()) + std::fabs(r.bottom()));
    return dx > reach || dy > reach || dx * dx + dy * dy > reach * reach;
}

QRectF boundsOf(const QPointF *points, int count)
{
    double x0 = points[0].x(), x1 = x0, y0 = points[0].y(), y1 = y0;
    for (int i = 1; i < count; ++i) {
        x0 = std::min(x0, points[i].x());
        x1 = std::max(x1, points[i].x());
        y0 = std::min(y0, points[i].y());
        y1 = std::max(y1, points[i].y());
    }
    return QRectF(QPointF(x0, y0), QPointF(x1, y1));
}

QPointF rotated(const QPointF &p, const QPointF &pivot, double c, double s)
{
    const double dx = p.x() - pivot.x();
    const double dy = p.y() - pivot.y();
    return QPointF(pivot.x() + dx * c - dy * s, pivot.y() + dx * s + dy * c);
}

// cos and sin of an angle in degrees, exact at the multiples of 90 so that quarter and half
// turns leave coordinates without rounding noise.
void cosSin(double degrees, double *c, double *s)
{
    const double quarter = degrees / 90.0;
    if (quarter == std::round(quarter) && std::abs(quarter) < 1e9) {
        const long long q = ((static_cast<long long>(quarter) % 4) + 4) % 4;
        static const double kCos[] = {1.0, 0.0, -1.0, 0.0};
        static const double kSin[] = {0.0, 1.0, 0.0, -1.0};
        *c = kCos[q];
        *s = kSin[q];
        return;
    }
    *c = std::cos(toRadians(degrees));
    *s = std::sin(toRadians(degrees));
}

} // namespace

double dxfUnitFactor(int axisUnit)
{
    return unitsPerMillimetreOf(axisUnit);
}

namespace {

// The vector from the point of the segment nearest to p (the foot of the perpendicular when it
// falls on the segment, otherwise the nearer end) to p.
QPointF offsetFromSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const double vx = b.x() - a.x();
    const double vy = b.y() - a.y();
    const double len2 = vx * vx + vy * vy;
    double t = 0.0;
    if (len2 > 0.0)
        t = std::clamp(((p.x() - a.x()) * vx + (p.y() - a.y()) * vy) / len2, 0.0, 1.0);
    return QPointF(p.x() - (a.x() + t * vx), p.y() - (a.y() + t * vy));
}

} // namespace

double distanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b)
{
    const QPointF d = offsetFromSegment(p, a, b);
    return std::hypot(d.x(), d.y());
}

double distanceToArc(const QPointF &p, const QPointF &centre, double radius, double startDeg,
                     double spanDeg)
{
    const double dx = p.x() - centre.x();
    const double dy = p.y() - centre.y();
    const double toCircle = std::abs(std::hypot(dx, dy) - radius);
    if (spanDeg >= 360.0)
        return toCircle;
    const double start = toRadians(startDeg);
    const double span = toRadians(spanDeg);
    if (wrap(std::atan2(dy, dx) - start, kTwoPi) <= span)
        return toCircle;
    const QPointF a = centre + radius * QPointF(std::cos(start), std::sin(start));
    const QPointF b = centre + radius * QPointF(std::cos(start + span), std::sin(start + span));
    return std::min(QLineF(p, a).length(), QLineF(p, b).length());
}

DxfEntity DxfEntity::line(const QPointF &start, const QPointF &end)
{
    DxfEntity e;
    e.kind = Line;
    e.start = start;
    e.end = end;
    e.updateBounds();
    return e;
}

DxfEntity DxfEntity::circle(const QPointF &centre, double radius)
{
    DxfEntity e;
    e.kind = Arc;
    e.centre = centre;
    e.radius = radius;
    e.fullCircle = true;
    e.startAngle = 0.0;
    e.spanAngle = 360.0;
    e.updateBounds();
    return e;
}

DxfEntity DxfEntity::arc(const QPointF &centre, double radius, double startDeg, double endDeg)
{
    const double s = wrap(startDeg, 360.0);
    const double e = wrap(endDeg, 360.0);
    if (s == e)
        return circle(centre, radius);
    DxfEntity a = circle(centre, radius);
    a.fullCircle = false;
    a.startAngle = s;
    a.spanAngle = e > s ? e - s : e - s + 360.0;
    return a;
}

int DxfEntity::ellipseSegments(double majorLength, double spanParam, double chordTolerance)
{
    if (!(majorLength > 0.0) || !(chordTolerance > 0.0) || !std::isfinite(majorLength)
        || !(spanParam > 0.0))
        return 0;
    // The chord over a parameter step h lies at most h²·a/8 from an ellipse of semi-major axis a
    // (the second derivative of the parameter form is never longer than a); half the tolerance
    // leaves room for the higher-order terms.
    const double step = std::sqrt(4.0 * chordTolerance / majorLength);
    const double segments = std::ceil(spanParam / step);
    if (!(segments <= kMaxEllipseSegments))
        return 0;
    return std::max(8, static_cast<int>(segments));
}

double DxfEntity::ellipseSpan(double startParam, double endParam)
{
    const double start = wrap(startParam, kTwoPi);
    const double end = wrap(endParam, kTwoPi);
    const double span = end > start ? end - start : end - start + kTwoPi;
    // Parameters a full turn apart, or the same, give the whole ellipse.
    const bool whole = std::abs(endParam - startParam) >= kTwoPi * (1.0 - 1e-12)
        || std::abs(span - kTwoPi) < 1e-12 || end == start;
    return whole ? kTwoPi : span;
}

DxfEntity DxfEntity::ellipse(const QPointF &centre, const QPointF &majorAxis, double ratio,
                             double startParam, double endParam, double chordTolerance)
{
    DxfEntity e;
    e.kind = Ellipse;
    e.centre = centre;
    e.majorAxis = majorAxis;
    e.ratio = ratio;
    e.startParam = wrap(startParam, kTwoPi);
    e.spanParam = ellipseSpan(startParam, endParam);
    e.wholeEllipse = e.spanParam == kTwoPi;
    const int n = ellipseSegments(length(majorAxis), e.spanParam, chordTolerance);
    e.outline.reserve(n + 1);
    for (int i = 0; n > 0 && i <= n; ++i)
        e.outline.append(e.ellipsePoint(e.startParam + e.spanParam * i / n));
    e.updateBounds();
    return e;
}

double DxfEntity::endAngle() const
{
    return wrap(startAngle + spanAngle, 360.0);
}

QPointF DxfEntity::pointAtAngle(double degrees) const
{
    const double r = toRadians(degrees);
    return centre + radius * QPointF(std::cos(r), std::sin(r));
}

QPointF DxfEntity::ellipsePoint(double param) const
{
    const QPointF minor(-majorAxis.y() * ratio, majorAxis.x() * ratio);
    return centre + majorAxis * std::cos(param) + minor * std::sin(param);
}

double DxfEntity::distanceTo(const QPointF &p, double below) const
{
    switch (kind) {
    case Line:
        return distanceToSegment(p, start, end);
    case Arc:
        return distanceToArc(p, centre, radius, startAngle, spanAngle);
    case Ellipse:
        break;
    }
    double best = below;
    const int segments = outline.size() - 1;
    for (int c = 0; c < chunkBounds.size(); ++c) {
        if (atLeastFrom(p, chunkBounds.at(c), best))
            continue;
        const int last = std::min(segments, (c + 1) * kChunk);
        for (int i = c * kChunk; i < last; ++i)
            best = std::min(best, distanceToSegment(p, outline.at(i), outline.at(i + 1)));
    }
    return best;
}

QVector<QPointF> DxfEntity::reperPoints() const
{
    QVector<QPointF> points;
    switch (kind) {
    case Line: {
        points << start << end;
        // Ten points from the left end along the segment, the last a tenth short of the right end.
        const QPointF left = end.x() < start.x() ? end : start;
        const QPointF right = end.x() < start.x() ? start : end;
        for (int i = 0; i < 10; ++i)
            points << left + (right - left) * (i / 10.0);
        break;
    }
    case Arc:
        if (fullCircle) {
            points << centre + QPointF(0, radius) << centre - QPointF(0, radius)
                   << centre + QPointF(radius, 0) << centre - QPointF(radius, 0);
            for (int i = 0; i <= 10; ++i) {
                const double dx = -radius + i * 2.0 * radius / 10.0;
                const double h = std::sqrt(std::max(0.0, radius * radius - dx * dx));
                points << centre + QPointF(dx, -h) << centre + QPointF(dx, h);
            }
        } else {
            points << pointAtAngle(startAngle) << pointAtAngle(startAngle + spanAngle);
            for (int i = 0; i <= 10; ++i)
                points << pointAtAngle(startAngle + i * spanAngle / 10.0);
        }
        break;
    case Ellipse: {
        const QPointF minor(-majorAxis.y() * ratio, majorAxis.x() * ratio);
        if (wholeEllipse) {
            points << centre + minor << centre - minor << centre + majorAxis << centre - majorAxis;
            for (int i = 0; i <= 10; ++i) {
                const double u = -1.0 + i * 0.2;
                const double v = std::sqrt(std::max(0.0, 1.0 - u * u));
                points << centre + majorAxis * u - minor * v << centre + majorAxis * u + minor * v;
            }
        } else {
            points << ellipsePoint(startParam) << ellipsePoint(startParam + spanParam);
            for (int i = 0; i <= 10; ++i)
                points << ellipsePoint(startParam + i * spanParam / 10.0);
        }
        break;
    }
    }
    return points;
}

void DxfEntity::translate(double dx, double dy)
{
    const QPointF d(dx, dy);
    start += d;
    end += d;
    centre += d;
    for (QPointF &p : outline)
        p += d;
    updateBounds();
}

void DxfEntity::rotate(double degrees, const QPointF &pivot)
{
    double c, s;
    cosSin(degrees, &c, &s);
    start = rotated(start, pivot, c, s);
    end = rotated(end, pivot, c, s);
    centre = rotated(centre, pivot, c, s);
    majorAxis = rotated(majorAxis, QPointF(), c, s);
    for (QPointF &p : outline)
        p = rotated(p, pivot, c, s);
    if (kind == Arc && !fullCircle)
        startAngle = wrap(startAngle + degrees, 360.0);
    updateBounds();
}

void DxfEntity::scale(double k)
{
    start *= k;
    end *= k;
    centre *= k;
    radius *= k;
    majorAxis *= k;
    for (QPointF &p : outline)
        p *= k;
    updateBounds();
}

void DxfEntity::updateBounds()
{
    switch (kind) {
    case Line:
        bounds = QRectF(start, end).normalized();
        break;
    case Arc:
        bounds = QRectF(centre.x() - radius, centre.y() - radius, 2 * radius, 2 * radius);
        break;
    case Ellipse: {
        chunkBounds.clear();
        if (outline.size() < 2) {
            bounds = QRectF(centre, centre);
            break;
        }
        const int segments = outline.size() - 1;
        for (int first = 0; first < segments; first += kChunk) {
            const int count = std::min(kChunk, segments - first) + 1;
            chunkBounds.append(boundsOf(outline.constData() + first, count));
        }
        bounds = boundsOf(outline.constData(), outline.size());
        break;
    }
    }
}

// The distance tree: the entities in an order that keeps neighbours together (the file order,
// which follows a polyline, or else the Morton order of their centres, alone or within classes
// of direction, whichever costs the queries least); a leaf holds kLeaf consecutive entities and
// every node above holds kFan nodes of the level below, each with the bounds of all it holds
// and a capsule around a chord along the mean direction of its content. Long lines that cross
// each other (a grid, a hatch, a zigzag) have bounds that hold most of the drawing; their
// capsules stay narrow where parallel neighbours share a node, so a query still opens few. Entities
// whose bounds are not finite are kept apart in `everywhere` and checked by every query.
//
// A query walks down from the root, nearer nodes first, and passes over every node whose bounds
// lie farther than the best distance found so far: none of its entities can be nearer. A good
// hint makes that distance small from the start, so the walk stays on a few paths. Every
// skip keeps a margin for the rounding of the coordinates, so a query returns exactly the
// smallest distance that measuring every entity would give.
class DxfDrawing::Tree
{
public:
    explicit Tree(const DxfDrawing &drawing);

    // The distance from p to the drawing, whose entities lie where a rigid motion took those the
    // tree was built for: `at` is p taken back by that motion, and extraSlack the room for the
    // rounding of the motion (both p and 0 for a tree of the drawing as it is).
    double distanceTo(const DxfDrawing &drawing, const QPointF &p, const QPointF &at,
                      double extraSlack, int *hint) const;
    // The largest |x| + |y| of what the tree holds (0 for an empty tree).
    double magnitude() const
    {
        if (m_levels.empty())
            return 0.0;
        const Box &root = m_levels.back().front();
        return std::max(std::fabs(root.left), std::fabs(root.right))
            + std::max(std::fabs(root.top), std::fabs(root.bottom));
    }
    // Makes the tree that of the drawing with every coordinate multiplied by k; false when its
    // numbers would leave the range where the margins hold (the tree is then of no use and is
    // built again). Scaling by a positive factor keeps the order of the coordinates, and the
    // margins scale with them, so a query still finds exactly the nearest entity.
    bool scale(double k);
    qint64 bytes() const
    {
        qint64 total
            = qint64(m_order.capacity() + m_everywhere.capacity()) * qint64(sizeof(quint32));
        for (const std::vector<Box> &level : m_levels)
            total += qint64(level.capacity()) * qint64(sizeof(Box));
        return total;
    }

private:
    static constexpr int kLeaf = 8;
    static constexpr int kFan = 4;

    // What a node holds lies within its box, and within `width` of its chord, the segment from
    // `from` to `to`. For a run of polyline segments the chord follows the run, so its distance
    // bounds the run's far more tightly than the box does.
    struct Box
    {
        double left;
        double top;
        double right;
        double bottom;
        QPointF from;
        QPointF to;
        double width;
        // The chord as from + t·(vx, vy), 0 ≤ t ≤ 1, and 1 / (vx² + vy²) (0 for a point).
        double vx;
        double vy;
        double inverseLength2;
    };
    static void setChord(Box &b)
    {
        b.vx = b.to.x() - b.from.x();
        b.vy = b.to.y() - b.from.y();
        const double length2 = b.vx * b.vx + b.vy * b.vy;
        b.inverseLength2 = length2 > 0.0 ? 1.0 / length2 : 0.0;
        // A chord too short for its inverse length is taken as its start, the width widened by
        // the chord's length.
        if (!std::isfinite(b.inverseLength2)) {
            b.inverseLength2 = 0.0;
            b.width += std::hypot(b.vx, b.vy);
        }
    }
    static void unite(Box &into, const Box &b)
    {
        into.left = std::min(into.left, b.left);
        into.top = std::min(into.top, b.top);
        into.right = std::max(into.right, b.right);
        into.bottom = std::max(into.bottom, b.bottom);
    }
    // Whether the node may hold something within reach of p (reach squared given). When it may,
    // *boxSquared receives the squared distance of its box, and *order how near its capsule
    // comes, roughly and squared: the order in which the query opens nodes.
    static bool mayReach(const QPointF &p, const Box &b, double reach, double reachSquared,
                         double *boxSquared = nullptr, double *order = nullptr)
    {
        const double dx = std::max({b.left - p.x(), 0.0, p.x() - b.right});
        const double dy = std::max({b.top - p.y(), 0.0, p.y() - b.bottom});
        const double box = dx * dx + dy * dy;
        if (box > reachSquared)
            return false;
        const double ax = p.x() - b.from.x();
        const double ay = p.y() - b.from.y();
        const double t = std::clamp((ax * b.vx + ay * b.vy) * b.inverseLength2, 0.0, 1.0);
        const double ox = ax - t * b.vx;
        const double oy = ay - t * b.vy;
        const double offset = ox * ox + oy * oy;
        const double capsule = reach + b.width;
        if (offset > capsule * capsule)
            return false;
        if (boxSquared)
            *boxSquared = box;
        if (order)
            *order = std::max(box, offset - b.width * b.width);
        return true;
    }

    // Leaf number `leaf` of the listed entities in the order given (null: the drawing's own);
    // adds its cost (see cost()) to *total.
    Box leafOf(const DxfDrawing &drawing, const quint32 *order, size_t leaf, double *total) const;
    // Puts the levels above the leaves.
    void buildLevels(std::vector<Box> leaves);
    // The chord of a node along the mean direction of what it holds: `directions` are the
    // directions of its parts (either sense), `ends` the points it spans along them. A node of
    // parallel lines gets a chord along them, however the lines run, and a narrow width.
    static void chordAlong(const QPointF *directions, int directionCount, const QPointF *ends,
                           int endCount, Box *box);
    // How much a node costs the queries: the area within m_reach of its capsule or of its box,
    // whichever is smaller, roughly how often a query near the drawing has to open it.
    double cost(const Box &b) const;

    // The entities with finite bounds, in tree order; empty when that is the drawing's own
    // order and every entity is listed.
    std::vector<quint32> m_order;
    size_t m_listed = 0;
    // m_levels[0]: the bounds of the leaves; each next level: of kFan nodes of the one below;
    // the last level holds the root alone.
    std::vector<std::vector<Box>> m_levels;
    std::vector<quint32> m_everywhere;
    // Slack for the rounding of coordinates: a thousand times their precision.
    double m_slack = 0.0;
    // The distance at which the order of the entities is judged: the spacing the entities
    // would have if they were spread evenly over their bounds.
    double m_reach = 0.0;
};

// A tree and where the drawing lies relative to it: the drawing's entities are those the tree
// was built for, moved by p -> (c·x − s·y + dx, s·x + c·y + dy). A levelling turns and shifts the
// whole drawing, which keeps every distance; the tree stays as built and a query takes its point
// back by the motion. Only the point is moved, so a query compares the entities themselves as
// they are, and gives exactly the distance a tree built for them would.
struct DxfDrawing::Placement
{
    std::shared_ptr<const Tree> tree;
    double c = 1.0;
    double s = 0.0;
    double dx = 0.0;
    double dy = 0.0;
    bool moved = false;
    // Room for the rounding of the motions taken: of the entities as each turned, and of the
    // composed motion. Grows with every motion.
    double slack = 0.0;
    int motions = 0;

    QPointF toTree(const QPointF &p) const
    {
        if (!moved)
            return p;
        const double x = p.x() - dx;
        const double y = p.y() - dy;
        return QPointF(c * x + s * y, c * y - s * x);
    }
    double distanceTo(const DxfDrawing &drawing, const QPointF &p, int *hint) const
    {
        if (!moved)
            return tree->distanceTo(drawing, p, p, 0.0, hint);
        // The composed turn is off a unit in the last place or so for each motion: so is the
        // point taken back, in proportion to its distance from the origin.
        const QPointF at = toTree(p);
        const double pointSlack = 1e-13 * double(motions)
            * (std::fabs(p.x()) + std::fabs(p.y()) + std::fabs(at.x()) + std::fabs(at.y()));
        return tree->distanceTo(drawing, p, at, slack + pointSlack, hint);
    }
};

namespace {

double rectDistanceSquared(const QPointF &p, const QRectF &r)
{
    const double dx = std::max({r.left() - p.x(), 0.0, p.x() - r.right()});
    const double dy = std::max({r.top() - p.y(), 0.0, p.y() - r.bottom()});
    return dx * dx + dy * dy;
}

bool finiteRect(const QRectF &r)
{
    return std::isfinite(r.left()) && std::isfinite(r.top()) && std::isfinite(r.right())
        && std::isfinite(r.bottom());
}

// The 16 bits of v spread to the even bits of the result.
quint32 spreadBits(quint32 v)
{
    v &= 0xFFFF;
    v = (v | (v << 8)) & 0x00FF00FF;
    v = (v | (v << 4)) & 0x0F0F0F0F;
    v = (v | (v << 2)) & 0x33333333;
    v = (v | (v << 1)) & 0x55555555;
    return v;
}

} // namespace

DxfDrawing::Tree::Tree(const DxfDrawing &drawing)
{
    const int n = drawing.size();
    double left = std::numeric_limits<double>::infinity();
    double top = left;
    double right = -left;
    double bottom = -left;
    for (int i = 0; i < n; ++i) {
        const QRectF b = drawing.entityBounds(i);
        if (!finiteRect(b)) {
            m_everywhere.push_back(quint32(i));
            continue;
        }
        left = std::min(left, b.left());
        top = std::min(top, b.top());
        right = std::max(right, b.right());
        bottom = std::max(bottom, b.bottom());
    }
    m_listed = size_t(n) - m_everywhere.size();
    if (m_listed == 0)
        return;
    // The entities with finite bounds in file order: kept only when some are left out, the
    // order of a drawing that has none being that of its entities.
    std::vector<quint32> fileOrder;
    if (!m_everywhere.empty()) {
        fileOrder.reserve(m_listed);
        auto apart = m_everywhere.cbegin();
        for (int i = 0; i < n; ++i) {
            if (apart != m_everywhere.cend() && *apart == quint32(i))
                ++apart;
            else
                fileOrder.push_back(quint32(i));
        }
    }
    m_slack
        = std::max({std::fabs(left), std::fabs(right), std::fabs(top), std::fabs(bottom)}) * 1e-13;
    const double width = right - left;
    const double height = bottom - top;
    m_reach = std::max(std::sqrt(width * height / double(m_listed)),
                       (width + height) / double(m_listed));

    // What the entities themselves cost, as leaves of one entity each would: no order of them
    // into leaves of kLeaf costs much less than a kLeaf-th of it, and a good one not much more.
    // Judged from a sample of evenly spaced entities in a large drawing.
    const size_t stride = std::max<size_t>(1, m_listed / 65536);
    double entityCost = 0.0;
    for (size_t k = 0; k < m_listed; k += stride) {
        const int i = int(fileOrder.empty() ? quint32(k) : fileOrder[k]);
        QPointF ends[4];
        const int count = drawing.hullPoints(i, ends);
        Box b {};
        b.left = b.right = ends[0].x();
        b.top = b.bottom = ends[0].y();
        for (int c = 1; c < count; ++c) {
            b.left = std::min(b.left, ends[c].x());
            b.top = std::min(b.top, ends[c].y());
            b.right = std::max(b.right, ends[c].x());
            b.bottom = std::max(b.bottom, ends[c].y());
        }
        b.from = ends[0];
        b.to = count == 2 ? ends[1] : ends[0];
        b.width = count == 2 ? 0.0 : std::hypot(b.right - b.left, b.bottom - b.top);
        entityCost += cost(b) * double(stride);
    }

    // The leaves of an order, and what they cost. The leaves of a large drawing are made on the
    // threads of the pool, in runs of leaves that each sum their own cost; the runs' sums are
    // added in order, so the result does not depend on the number of threads.
    const auto leavesOf = [&drawing, this](const std::vector<quint32> &order, double *total) {
        const quint32 *entities = order.empty() ? nullptr : order.data();
        std::vector<Box> leaves((m_listed + kLeaf - 1) / kLeaf);
        constexpr size_t kRun = 4096;
        std::vector<double> runCosts((leaves.size() + kRun - 1) / kRun, 0.0);
        const auto makeRun = [&](size_t run) {
            const size_t end = std::min(leaves.size(), (run + 1) * kRun);
            for (size_t leaf = run * kRun; leaf < end; ++leaf)
                leaves[leaf] = leafOf(drawing, entities, leaf, &runCosts[run]);
        };
        if (runCosts.size() > 1) {
            std::vector<size_t> runs(runCosts.size());
            std::iota(runs.begin(), runs.end(), size_t(0));
            QtConcurrent::blockingMap(runs, makeRun);
        } else if (!runCosts.empty()) {
            makeRun(0);
        }
        *total = std::accumulate(runCosts.begin(), runCosts.end(), 0.0);
        return leaves;
    };

    // The file order keeps a polyline's segments together better than any order of their
    // centres: where its leaves cost little more than the entities themselves, it is kept.
    double fileCost = 0.0;
    std::vector<Box> leaves = leavesOf(fileOrder, &fileCost);
    if (fileCost <= 2.0 * entityCost) {
        m_order = std::move(fileOrder);
        buildLevels(std::move(leaves));
        return;
    }
    // A drawing whose entities come in no useful order, or whose neighbours in the file lie
    // across each other (a grid drawn line by line, a zigzag of long strokes), takes the
    // Morton order of the entities' centres, or that order within classes of direction, so
    // that parallel lines side by side share a leaf: whichever costs least.
    if (fileOrder.empty()) {
        fileOrder.resize(m_listed);
        std::iota(fileOrder.begin(), fileOrder.end(), quint32(0));
    }
    // Morton order of the centres on a grid of 2^14 by 2^14 over the bounds, below the class.
    const double sx = right > left ? 16383.0 / (right - left) : 0.0;
    const double sy = bottom > top ? 16383.0 / (bottom - top) : 0.0;
    const auto orderOf = [&](bool byDirection) {
        std::vector<quint64> keys;
        keys.reserve(fileOrder.size());
        for (quint32 i : fileOrder) {
            const QRectF b = drawing.entityBounds(int(i));
            const double cx = std::clamp((b.center().x() - left) * sx, 0.0, 16383.0);
            const double cy = std::clamp((b.center().y() - top) * sy, 0.0, 16383.0);
            quint64 key = spreadBits(quint32(cx)) | (spreadBits(quint32(cy)) << 1);
            if (byDirection) {
                // Eight classes of the direction of a segment, a ninth for the rest.
                quint64 kind = 8;
                const QLineF line
                    = drawing.kindOf(int(i)) == DxfEntity::Line ? drawing.lineOf(int(i)) : QLineF();
                if (line.dx() != 0.0 || line.dy() != 0.0) {
                    double angle = std::atan2(line.dy(), line.dx());
                    if (angle < 0.0)
                        angle += kPi;
                    kind = std::min<quint64>(7, quint64(angle / kPi * 8.0));
                }
                key |= kind << 28;
            }
            keys.push_back((key << 32) | i);
        }
        std::sort(keys.begin(), keys.end());
        std::vector<quint32> order(keys.size());
        for (size_t k = 0; k < keys.size(); ++k)
            order[k] = quint32(keys[k] & 0xFFFFFFFFu);
        return order;
    };
    double bestCost = fileCost;
    bool fileWins = true;
    for (bool byDirection : {false, true}) {
        std::vector<quint32> order = orderOf(byDirection);
        double orderCost = 0.0;
        std::vector<Box> orderLeaves = leavesOf(order, &orderCost);
        if (orderCost < bestCost) {
            bestCost = orderCost;
            fileWins = false;
            m_order = std::move(order);
            leaves = std::move(orderLeaves);
        }
    }
    // The file order is the drawing's own unless some entities are left out.
    if (fileWins)
        m_order = m_everywhere.empty() ? std::vector<quint32>() : std::move(fileOrder);
    buildLevels(std::move(leaves));
}

bool DxfDrawing::Tree::scale(double k)
{
    constexpr double kSmallest = std::numeric_limits<double>::min() * 1e6;
    if (!(k >= 1e-9 && k <= 1e9) || (m_slack > 0.0 && !(m_slack * k >= kSmallest))
        || !std::isfinite(m_slack * k))
        return false;
    m_slack *= k;
    m_reach *= k;
    for (std::vector<Box> &level : m_levels) {
        for (Box &b : level) {
            b.left *= k;
            b.top *= k;
            b.right *= k;
            b.bottom *= k;
            b.from *= k;
            b.to *= k;
            b.width *= k;
            setChord(b);
            if (!std::isfinite(b.left) || !std::isfinite(b.top) || !std::isfinite(b.right)
                || !std::isfinite(b.bottom) || !std::isfinite(b.width))
                return false;
        }
    }
    return true;
}

double DxfDrawing::Tree::cost(const Box &b) const
{
    const double dx = b.to.x() - b.from.x();
    const double dy = b.to.y() - b.from.y();
    const double length = std::sqrt(dx * dx + dy * dy);
    const double radius = b.width + m_reach;
    const double capsule = 2.0 * radius * length + kPi * radius * radius;
    const double box = (b.right - b.left + 2.0 * m_reach) * (b.bottom - b.top + 2.0 * m_reach);
    return std::min(capsule, box);
}

void DxfDrawing::Tree::chordAlong(const QPointF *directions, int directionCount,
                                  const QPointF *ends, int endCount, Box *box)
{
    // The directions added up, each turned to agree with the sum so far.
    double ux = 0.0;
    double uy = 0.0;
    for (int k = 0; k < directionCount; ++k) {
        const double dx = directions[k].x();
        const double dy = directions[k].y();
        if (dx * ux + dy * uy < 0.0) {
            ux -= dx;
            uy -= dy;
        } else {
            ux += dx;
            uy += dy;
        }
    }
    const double length = std::sqrt(ux * ux + uy * uy);
    if (!(length > 0.0) || !std::isfinite(length)) {
        // No direction: the chord runs from the first end to the last.
        box->from = ends[0];
        box->to = ends[endCount - 1];
        return;
    }
    ux /= length;
    uy /= length;
    const QPointF origin = ends[0];
    double lo = 0.0;
    double hi = 0.0;
    for (int k = 1; k < endCount; ++k) {
        const double t = (ends[k].x() - origin.x()) * ux + (ends[k].y() - origin.y()) * uy;
        lo = std::min(lo, t);
        hi = std::max(hi, t);
    }
    box->from = QPointF(origin.x() + lo * ux, origin.y() + lo * uy);
    box->to = QPointF(origin.x() + hi * ux, origin.y() + hi * uy);
}

DxfDrawing::Tree::Box DxfDrawing::Tree::leafOf(const DxfDrawing &drawing, const quint32 *order,
                                               size_t leaf, double *total) const
{
    const size_t first = leaf * kLeaf;
    const size_t last = std::min(m_listed, first + kLeaf);
    const auto entity = [order](size_t k) {
        return int(order ? order[k] : quint32(k));
    };
    Box box {std::numeric_limits<double>::infinity(),
             std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity(),
             -std::numeric_limits<double>::infinity(),
             {},
             {},
             0.0,
             0.0,
             0.0,
             0.0};
    // The chord along the mean direction of the leaf's entities (a segment's from start to end,
    // none for other entities), spanning the points that hold them (a segment's ends, the
    // corners of any other entity's bounds). Every entity lies within the largest distance of
    // those points from the chord, distance to a segment being convex. The largest square is
    // taken and its root once per leaf.
    QPointF directions[kLeaf];
    QPointF ends[4 * kLeaf];
    int endCount = 0;
    for (size_t k = first; k < last; ++k) {
        const int i = entity(k);
        const int count = drawing.hullPoints(i, ends + endCount);
        directions[k - first] = count == 2 ? ends[endCount + 1] - ends[endCount] : QPointF();
        endCount += count;
    }
    chordAlong(directions, int(last - first), ends, endCount, &box);
    // A point of the chord for every corner, with one division per leaf: any point of
    // the chord is at least as far from the corner as its foot, so the width can only
    // come out wider than it is.
    const double vx = box.to.x() - box.from.x();
    const double vy = box.to.y() - box.from.y();
    const double length2 = vx * vx + vy * vy;
    const double inverse = length2 > 0.0 ? 1.0 / length2 : 0.0;
    double widthSquared = 0.0;
    // The hull points span the entities' bounds.
    for (int c = 0; c < endCount; ++c) {
        box.left = std::min(box.left, ends[c].x());
        box.top = std::min(box.top, ends[c].y());
        box.right = std::max(box.right, ends[c].x());
        box.bottom = std::max(box.bottom, ends[c].y());
        const double ax = ends[c].x() - box.from.x();
        const double ay = ends[c].y() - box.from.y();
        const double t = std::clamp((ax * vx + ay * vy) * inverse, 0.0, 1.0);
        const double ox = ax - t * vx;
        const double oy = ay - t * vy;
        widthSquared = std::max(widthSquared, ox * ox + oy * oy);
    }
    box.left -= m_slack;
    box.top -= m_slack;
    box.right += m_slack;
    box.bottom += m_slack;
    box.width = std::sqrt(widthSquared) * (1.0 + 1e-12) + m_slack;
    setChord(box);
    *total += cost(box);
    return box;
}

void DxfDrawing::Tree::buildLevels(std::vector<Box> leaves)
{
    m_levels.push_back(std::move(leaves));
    while (m_levels.back().size() > 1) {
        const std::vector<Box> &below = m_levels.back();
        std::vector<Box> level((below.size() + kFan - 1) / kFan);
        for (size_t node = 0; node < level.size(); ++node) {
            const size_t first = node * kFan;
            const size_t last = std::min(below.size(), first + kFan);
            Box box = below[first];
            QPointF directions[kFan];
            QPointF ends[2 * kFan];
            for (size_t k = first; k < last; ++k) {
                directions[k - first] = below[k].to - below[k].from;
                ends[2 * (k - first)] = below[k].from;
                ends[2 * (k - first) + 1] = below[k].to;
            }
            chordAlong(directions, int(last - first), ends, int(2 * (last - first)), &box);
            box.width = 0.0;
            for (size_t k = first; k < last; ++k) {
                unite(box, below[k]);
                // Everything of a child lies within its width of its chord, whose points lie
                // no farther from this chord than the chord's ends.
                box.width
                    = std::max(box.width,
                               below[k].width
                                   + std::max(distanceToSegment(below[k].from, box.from, box.to),
                                              distanceToSegment(below[k].to, box.from, box.to)));
            }
            box.width = box.width * (1.0 + 1e-12) + m_slack;
            setChord(box);
            level[node] = box;
        }
        m_levels.push_back(std::move(level));
    }
}

double DxfDrawing::Tree::distanceTo(const DxfDrawing &drawing, const QPointF &p, const QPointF &at,
                                    double extraSlack, int *hint) const
{
    double best = kNoDistance;
    const int n = drawing.size();
    const int first = hint && *hint >= 0 && *hint < n ? *hint : -1;
    int bestIndex = first;
    // A point without finite coordinates is infinitely far from every entity, or not a number
    // of units: no distance to it is below kNoDistance.
    if (!std::isfinite(p.x()) || !std::isfinite(p.y())) {
        if (hint)
            *hint = first;
        return best;
    }
    // The bounds are those of the entities as the tree was built: they are passed by with the
    // point taken back there, the entities measured from the point itself.
    const double slack = m_slack + extraSlack
        + (std::fabs(p.x()) + std::fabs(p.y()) + std::fabs(at.x()) + std::fabs(at.y())) * 1e-13;
    // How far an entity that could still be nearer than the best distance may lie, with room
    // for the rounding of the coordinates and of the distances.
    const auto reach = [&best, slack] {
        return best * (1.0 + 1e-12) + slack;
    };
    const auto reachSquared = [&reach] {
        return reach() * reach();
    };
    // An entity whose bounds lie beyond that reach cannot be nearer; its distance is not
    // computed. A segment, the common case, is looked at directly: its distance is computed only
    // when the square of the offset is within reach.
    const auto consider = [&](int i) {
        if (i == first)
            return;
        double d;
        const quint32 entry = drawing.m_entries.at(i);
        if (DxfEntity::Kind(entry >> kIndexBits) == DxfEntity::Line) {
            const Segment s = drawing.segment(int(entry & kIndexMask));
            const double dx = std::max({std::min(s.start.x(), s.end.x()) - p.x(), 0.0,
                                        p.x() - std::max(s.start.x(), s.end.x())});
            const double dy = std::max({std::min(s.start.y(), s.end.y()) - p.y(), 0.0,
                                        p.y() - std::max(s.start.y(), s.end.y())});
            const double reach = reachSquared();
            if (dx * dx + dy * dy > reach)
                return;
            const QPointF offset = offsetFromSegment(p, s.start, s.end);
            if (offset.x() * offset.x() + offset.y() * offset.y() > reach)
                return;
            d = std::hypot(offset.x(), offset.y());
        } else {
            if (rectDistanceSquared(p, drawing.entityBounds(i)) > reachSquared())
                return;
            d = drawing.entityDistance(i, p, best);
        }
        if (d < best) {
            best = d;
            bestIndex = i;
        }
    };
    if (first >= 0)
        best = std::min(best, drawing.entityDistance(first, p, best));
    for (quint32 i : m_everywhere)
        consider(int(i));

    if (!m_levels.empty()) {
        // Depth first, the nearest child on top; the stack holds at most kFan nodes per level.
        struct Node
        {
            int level;
            int index;
            double order;
            double boxSquared;
        };
        Node stack[kFan * 32];
        int top = 0;
        const int rootLevel = int(m_levels.size()) - 1;
        const Box &root = m_levels[size_t(rootLevel)][0];
        Node rootNode {rootLevel, 0, 0.0, 0.0};
        if (mayReach(at, root, reach(), reachSquared(), &rootNode.boxSquared, &rootNode.order))
            stack[top++] = rootNode;
        while (top > 0) {
            const Node node = stack[--top];
            // The node was within reach when it was pushed; the best distance may have shrunk.
            if (node.boxSquared > reachSquared())
                continue;
            if (node.level == 0) {
                const size_t from = size_t(node.index) * kLeaf;
                const size_t to = std::min(m_listed, from + kLeaf);
                for (size_t k = from; k < to; ++k)
                    consider(int(m_order.empty() ? quint32(k) : m_order[k]));
                continue;
            }
            const std::vector<Box> &below = m_levels[size_t(node.level) - 1];
            const int from = node.index * kFan;
            const int to = std::min(int(below.size()), from + kFan);
            // The children within reach go on the stack farthest first, so that the nearest is
            // taken next (an insertion into the few entries above the node's place).
            const int base = top;
            for (int c = from; c < to; ++c) {
                Node child {node.level - 1, c, 0.0, 0.0};
                if (!mayReach(at, below[size_t(c)], reach(), reachSquared(), &child.boxSquared,
                              &child.order))
                    continue;
                int at = top++;
                while (at > base && stack[at - 1].order < child.order) {
                    stack[at] = stack[at - 1];
                    --at;
                }
                stack[at] = child;
            }
        }
    }
    if (hint)
        *hint = bestIndex;
    return best;
}

DxfDrawing::DxfDrawing() = default;
DxfDrawing::~DxfDrawing() = default;
DxfDrawing::DxfDrawing(const DxfDrawing &other) = default;
DxfDrawing &DxfDrawing::operator=(const DxfDrawing &other) = default;
DxfDrawing::DxfDrawing(DxfDrawing &&other) noexcept = default;
DxfDrawing &DxfDrawing::operator=(DxfDrawing &&other) noexcept = default;

DxfEntity::Kind DxfDrawing::kindOf(int i) const
{
    return DxfEntity::Kind(m_entries.at(i) >> kIndexBits);
}

DxfEntity DxfDrawing::entity(int i) const
{
    const int k = int(m_entries.at(i) & kIndexMask);
    switch (kindOf(i)) {
    case DxfEntity::Line: {
        const Segment s = segment(k);
        return DxfEntity::line(s.start, s.end);
    }
    case DxfEntity::Arc: {
        const Arc &a = m_arcs.at(k);
        DxfEntity e = DxfEntity::circle(a.centre, a.radius);
        e.fullCircle = a.fullCircle;
        e.startAngle = a.startAngle;
        e.spanAngle = a.spanAngle;
        return e;
    }
    case DxfEntity::Ellipse:
        break;
    }
    return m_ellipses.at(k);
}

void DxfDrawing::append(const DxfEntity &entity)
{
    const auto enter = [this](DxfEntity::Kind kind, int index) {
        m_entries.append((quint32(kind) << kIndexBits) | quint32(index));
    };
    dropTree();
    switch (entity.kind) {
    case DxfEntity::Line:
        if (quint32(m_ends.size() / 2) >= kIndexMask)
            return;
        enter(DxfEntity::Line, m_ends.size() / 2);
        m_ends.append(entity.start);
        m_ends.append(entity.end);
        return;
    case DxfEntity::Arc:
        if (quint32(m_arcs.size()) >= kIndexMask)
            return;
        enter(DxfEntity::Arc, m_arcs.size());
        m_arcs.append(Arc {entity.centre, entity.radius, entity.startAngle, entity.spanAngle,
                           entity.fullCircle});
        return;
    case DxfEntity::Ellipse:
        if (quint32(m_ellipses.size()) >= kIndexMask)
            return;
        enter(DxfEntity::Ellipse, m_ellipses.size());
        m_ellipses.append(entity);
        return;
    }
}

void DxfDrawing::clear()
{
    dropTree();
    m_entries.clear();
    m_ends.clear();
    m_arcs.clear();
    m_ellipses.clear();
}

void DxfDrawing::squeeze()
{
    m_entries.squeeze();
    m_ends.squeeze();
    m_arcs.squeeze();
    m_ellipses.squeeze();
}

void DxfDrawing::translate(double dx, double dy)
{
    moveTree(1.0, 0.0, dx, dy);
    const QPointF d(dx, dy);
    for (QPointF &end : m_ends)
        end += d;
    for (Arc &a : m_arcs)
        a.centre += d;
    for (DxfEntity &e : m_ellipses)
        e.translate(dx, dy);
}

void DxfDrawing::rotate(double degrees, const QPointF &pivot)
{
    double c, s;
    cosSin(degrees, &c, &s);
    // p -> pivot + R(p − pivot) = R p + (pivot − R pivot).
    moveTree(c, s, pivot.x() - (c * pivot.x() - s * pivot.y()),
             pivot.y() - (s * pivot.x() + c * pivot.y()));
    for (QPointF &end : m_ends)
        end = rotated(end, pivot, c, s);
    for (Arc &a : m_arcs) {
        a.centre = rotated(a.centre, pivot, c, s);
        if (!a.fullCircle)
            a.startAngle = wrap(a.startAngle + degrees, 360.0);
    }
    for (DxfEntity &e : m_ellipses)
        e.rotate(degrees, pivot);
}

void DxfDrawing::rescale(double k)
{
    if (!(k > 0.0) || !std::isfinite(k))
        return;
    // A change of the unit scales the tree with the drawing rather than building it again: in
    // place when no copy of the drawing shares it (the tree is made as a mutable object).
    std::shared_ptr<const Placement> placed = std::atomic_load(&m_tree);
    dropTree();
    std::shared_ptr<Placement> moved;
    if (placed) {
        moved = std::make_shared<Placement>(*placed);
        placed.reset();
        // Held by the placement alone (or by copies of it that are gone now): scaled in place.
        std::shared_ptr<const Tree> built = std::move(moved->tree);
        std::shared_ptr<Tree> kept = built.use_count() == 1 ? std::const_pointer_cast<Tree>(built)
                                                            : std::make_shared<Tree>(*built);
        built.reset();
        // The motion scales with the plane: its turn stays, its shift and slack scale.
        moved->dx *= k;
        moved->dy *= k;
        moved->slack *= k;
        if (kept->scale(k) && std::isfinite(moved->dx) && std::isfinite(moved->dy)
            && std::isfinite(moved->slack))
            moved->tree = std::move(kept);
        else
            moved.reset();
    }
    for (QPointF &end : m_ends)
        end *= k;
    for (Arc &a : m_arcs) {
        a.centre *= k;
        a.radius *= k;
    }
    for (DxfEntity &e : m_ellipses)
        e.scale(k);
    if (moved)
        std::atomic_store(&m_tree, std::shared_ptr<const Placement>(std::move(moved)));
}

QRectF DxfDrawing::entityBounds(int i) const
{
    const int k = int(m_entries.at(i) & kIndexMask);
    switch (kindOf(i)) {
    case DxfEntity::Line: {
        const Segment s = segment(k);
        return QRectF(s.start, s.end).normalized();
    }
    case DxfEntity::Arc: {
        const Arc &a = m_arcs.at(k);
        return QRectF(a.centre.x() - a.radius, a.centre.y() - a.radius, 2 * a.radius, 2 * a.radius);
    }
    case DxfEntity::Ellipse:
        break;
    }
    return m_ellipses.at(k).bounds;
}

QPointF DxfDrawing::chordEnd(int i, bool first) const
{
    if (kindOf(i) == DxfEntity::Line) {
        const Segment s = segment(int(m_entries.at(i) & kIndexMask));
        return first ? s.start : s.end;
    }
    return entityBounds(i).center();
}

int DxfDrawing::hullPoints(int i, QPointF *points) const
{
    if (kindOf(i) == DxfEntity::Line) {
        const Segment s = segment(int(m_entries.at(i) & kIndexMask));
        points[0] = s.start;
        points[1] = s.end;
        return 2;
    }
    const QRectF b = entityBounds(i);
    points[0] = b.topLeft();
    points[1] = b.topRight();
    points[2] = b.bottomLeft();
    points[3] = b.bottomRight();
    return 4;
}

double DxfDrawing::entityDistance(int i, const QPointF &p, double below) const
{
    const int k = int(m_entries.at(i) & kIndexMask);
    switch (kindOf(i)) {
    case DxfEntity::Line: {
        const Segment s = segment(k);
        return distanceToSegment(p, s.start, s.end);
    }
    case DxfEntity::Arc: {
        const Arc &a = m_arcs.at(k);
        return distanceToArc(p, a.centre, a.radius, a.startAngle, a.spanAngle);
    }
    case DxfEntity::Ellipse:
        break;
    }
    return m_ellipses.at(k).distanceTo(p, below);
}

namespace {
std::atomic<quint64> treesBuilt {0};
} // namespace

quint64 DxfDrawing::distanceTreesBuilt()
{
    return treesBuilt.load();
}

std::shared_ptr<const DxfDrawing::Placement> DxfDrawing::tree() const
{
    std::shared_ptr<const Placement> built = std::atomic_load(&m_tree);
    if (!built) {
        auto placed = std::make_shared<Placement>();
        placed->tree = std::make_shared<Tree>(*this);
        ++treesBuilt;
        built = std::move(placed);
        std::atomic_store(&m_tree, built);
    }
    return built;
}

void DxfDrawing::dropTree()
{
    std::atomic_store(&m_tree, std::shared_ptr<const Placement>());
}

void DxfDrawing::moveTree(double c, double s, double dx, double dy)
{
    std::shared_ptr<const Placement> placed = std::atomic_load(&m_tree);
    dropTree();
    if (!placed)
        return;
    const double magnitude = placed->tree->magnitude();
    auto moved = std::make_shared<Placement>(*placed);
    placed.reset();
    // The new motion after the old: p -> R (R_old p + d_old) + d.
    const double c0 = moved->c, s0 = moved->s, dx0 = moved->dx, dy0 = moved->dy;
    moved->c = c * c0 - s * s0;
    moved->s = s * c0 + c * s0;
    moved->dx = c * dx0 - s * dy0 + dx;
    moved->dy = s * dx0 + c * dy0 + dy;
    moved->moved = true;
    ++moved->motions;
    // Every coordinate of the drawing lies within |x| + |y| <= 1.5 magnitude + |d_old| before
    // the motion and the like after it; turning and shifting it rounds by a few units in the
    // last place of that and of the shift. A thousand times that for each motion, twice over for
    // the composed motion, which rounds alike.
    moved->slack += 2e-13
        * (3.0 * magnitude + std::fabs(dx0) + std::fabs(dy0) + std::fabs(dx) + std::fabs(dy)
           + std::fabs(moved->dx) + std::fabs(moved->dy));
    // The slack grows by a few parts in 10^13 of the drawing's size with each motion: only after
    // about a million motions, when it would widen the queries' reach by a part in a million,
    // is the tree built again.
    if (!std::isfinite(moved->slack) || !std::isfinite(moved->dx) || !std::isfinite(moved->dy)
        || moved->slack > 1e-6 * (magnitude + std::fabs(moved->dx) + std::fabs(moved->dy)))
        return;
    std::atomic_store(&m_tree, std::shared_ptr<const Placement>(std::move(moved)));
}

bool DxfDrawing::hasDistanceTree() const
{
    return isEmpty() || std::atomic_load(&m_tree) != nullptr;
}

qint64 DxfDrawing::storageBytes() const
{
    const std::shared_ptr<const Placement> built = std::atomic_load(&m_tree);
    qint64 bytes = qint64(m_entries.capacity()) * qint64(sizeof(quint32))
        + qint64(m_ends.capacity()) * qint64(sizeof(QPointF))
        + qint64(m_arcs.capacity()) * qint64(sizeof(Arc))
        + qint64(m_ellipses.capacity()) * qint64(sizeof(DxfEntity));
    for (const DxfEntity &e : m_ellipses)
        bytes += qint64(e.outline.capacity()) * qint64(sizeof(QPointF))
            + qint64(e.chunkBounds.capacity()) * qint64(sizeof(QRectF));
    return bytes + (built ? built->tree->bytes() : 0);
}

bool DxfDrawing::sharesStorageWith(const DxfDrawing &other) const
{
    // Empty stores hold nothing to share (a changed one is not even sharable).
    const auto shared = [](const auto &a, const auto &b) {
        return (a.isEmpty() && b.isEmpty()) || a.isSharedWith(b);
    };
    return shared(m_entries, other.m_entries) && shared(m_ends, other.m_ends)
        && shared(m_arcs, other.m_arcs) && shared(m_ellipses, other.m_ellipses);
}

double DxfDrawing::distanceTo(const QPointF &p, int *hint) const
{
    if (isEmpty()) {
        if (hint)
            *hint = -1;
        return kNoDistance;
    }
    return tree()->distanceTo(*this, p, hint);
}

double DxfDrawing::distanceSum(const QVector<QPointF> &points, QVector<int> *hints, double above,
                               const std::function<bool()> *keepGoing) const
{
    constexpr int kPollPoints = 256;
    if (hints && hints->size() != points.size())
        hints->fill(-1, points.size());
    const std::shared_ptr<const Placement> index = isEmpty() ? nullptr : tree();
    double sum = 0.0;
    for (int i = 0; i < points.size(); ++i) {
        if (keepGoing && i % kPollPoints == kPollPoints - 1 && !(*keepGoing)())
            return std::numeric_limits<double>::infinity();
        int *hint = hints ? hints->data() + i : nullptr;
        if (index) {
            sum += index->distanceTo(*this, points.at(i), hint);
        } else {
            sum += kNoDistance;
            if (hint)
                *hint = -1;
        }
        if (sum > above)
            return sum;
    }
    return sum;
}
