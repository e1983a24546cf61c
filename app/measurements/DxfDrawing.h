#pragma once

#include <QLineF>
#include <QPointF>
#include <QRectF>
#include <QVector>

#include <functional>
#include <limits>
#include <memory>

// Millimetres of a drawing to plot units of the display unit (view/axis_unit): 1 for
// millimetres (0), 1000 for micrometres (1), 1e6 for nanometres (2); 1 for any other value.
double dxfUnitFactor(int axisUnit);

// Distance from p to the segment from a to b: to the foot of the perpendicular when it falls
// on the segment, otherwise to the nearer end (a point segment is its end).
double distanceToSegment(const QPointF &p, const QPointF &a, const QPointF &b);

// Distance from p to the circular arc of the given centre and radius that runs counter-clockwise
// from startDeg over spanDeg degrees (0 < spanDeg <= 360; 360 is the whole circle). A point
// beside the missing part of the circle is measured to the nearer arc end.
double distanceToArc(const QPointF &p, const QPointF &centre, double radius, double startDeg,
                     double spanDeg);

// One entity of a drawing in plot coordinates of the display unit. A drawing holds straight
// segments, circular arcs (a whole circle is an arc with its own flag) and ellipses (whole or
// elliptical arcs).
struct DxfEntity
{
    enum Kind { Line, Arc, Ellipse };

    static DxfEntity line(const QPointF &start, const QPointF &end);
    static DxfEntity circle(const QPointF &centre, double radius);
    // Angles in degrees, counter-clockwise from the positive x axis; the arc runs
    // counter-clockwise from start to end. Equal angles (after bringing both into [0, 360)) make
    // a whole circle.
    static DxfEntity arc(const QPointF &centre, double radius, double startDeg, double endDeg);
    // majorAxis: the end of the major axis relative to the centre; ratio: minor to major axis;
    // the parameters in radians, equal or a full turn apart for a whole ellipse. chordTolerance:
    // the largest distance allowed between the ellipse and the polyline it is measured as.
    static DxfEntity ellipse(const QPointF &centre, const QPointF &majorAxis, double ratio,
                             double startParam, double endParam, double chordTolerance);
    // The parameter span of an elliptical arc from startParam to endParam (radians), counter-
    // clockwise, in (0, 2π]; exactly 2π for a whole ellipse (parameters equal or a full turn
    // apart).
    static double ellipseSpan(double startParam, double endParam);
    // The number of polyline segments of an ellipse within the tolerance (0 when the ellipse is
    // degenerate or would need more than kMaxEllipseSegments).
    static int ellipseSegments(double majorLength, double spanParam, double chordTolerance);
    static constexpr int kMaxEllipseSegments = 1 << 15;

    Kind kind = Line;
    // Line: its ends.
    QPointF start;
    QPointF end;
    // Arc and ellipse: the centre.
    QPointF centre;
    // Arc: radius; start angle in [0, 360) and span in (0, 360] degrees; full circles have
    // fullCircle set and the span 360.
    double radius = 0.0;
    double startAngle = 0.0;
    double spanAngle = 360.0;
    bool fullCircle = false;
    // Ellipse: the major axis end relative to the centre, the axis ratio, the start parameter in
    // [0, 2π) and the parameter span in (0, 2π]; wholeEllipse when the span is a full turn.
    QPointF majorAxis;
    double ratio = 1.0;
    double startParam = 0.0;
    double spanParam = 0.0;
    bool wholeEllipse = false;
    // Ellipse: the polyline it is measured as, and the bounds of its chunks of kChunk segments.
    QVector<QPointF> outline;
    QVector<QRectF> chunkBounds;
    // Bounds of the entity (of the whole circle for an arc).
    QRectF bounds;

    double endAngle() const;
    QPointF pointAtAngle(double degrees) const;
    QPointF ellipsePoint(double param) const;
    double distanceTo(const QPointF &p, double below = 1e300) const;
    // The characteristic points that serve as snap targets when a drawing point is picked.
    QVector<QPointF> reperPoints() const;

    void translate(double dx, double dy);
    void rotate(double degrees, const QPointF &pivot);
    void scale(double k);
    void updateBounds();

    static constexpr int kChunk = 16;
};

// A drawing: its entities in file order, with the transformations the comparison applies and
// the distance of a point to it.
//
// Drawings can be large (a polyline of millions of vertices), so the entities are kept compact
// by kind: a segment in 32 bytes, an arc in 48, an ellipse (rare, with its outline) whole, and
// 4 bytes per entity for the file order. `entity` puts an entry together again as a DxfEntity.
// The distance queries use a tree of the entities' bounds, built at the first query after a
// change, so that a query visits the entities near its point and not every entity, also where
// long lines cross each other and their bounds overlap. A turn, a shift or a change of unit
// keeps the tree: it moves rigidly (or scales) with the drawing, and a query takes its point
// back to where the tree was built.
class DxfDrawing
{
public:
    DxfDrawing();
    ~DxfDrawing();
    DxfDrawing(const DxfDrawing &other);
    DxfDrawing &operator=(const DxfDrawing &other);
    DxfDrawing(DxfDrawing &&other) noexcept;
    DxfDrawing &operator=(DxfDrawing &&other) noexcept;

    bool isEmpty() const { return m_entries.isEmpty(); }
    int size() const { return m_entries.size(); }
    DxfEntity entity(int i) const;
    DxfEntity::Kind kindOf(int i) const;
    // The ends of entity i, which must be a segment: quicker than entity() for many entities.
    QLineF lineOf(int i) const
    {
        const int k = int(m_entries.at(i) & kIndexMask);
        return QLineF(m_ends.at(2 * k), m_ends.at(2 * k + 1));
    }
    // Bounds of entity i (of the whole circle for an arc).
    QRectF boundsOf(int i) const { return entityBounds(i); }
    void append(const DxfEntity &entity);
    void clear();
    // Gives back the room the storage grew into while entities were appended one by one.
    void squeeze();

    void translate(double dx, double dy);
    // Turns every entity about the pivot by the angle (degrees, counter-clockwise).
    void rotate(double degrees, const QPointF &pivot);
    // Multiplies every coordinate and length by k (angles stay).
    void rescale(double k);

    // Distance from p to the nearest entity; kNoDistance for an empty drawing, and at most
    // kNoDistance. hint, when given, holds the index of the entity found nearest last time for
    // this point (or -1) and receives the one found now: a good first guess lets the search pass
    // over most entities. The result does not depend on the hint.
    double distanceTo(const QPointF &p, int *hint = nullptr) const;
    // Sum of the distances of the points, in point order; hints (resized to the points) speed
    // repeated sums over the same points as the drawing moves. The sum stops as soon as it
    // exceeds `above` and returns what it has reached then: a value above `above` that the whole
    // sum can only exceed (the distances are never negative), so a search comparing the sum with
    // `above` decides as the whole sum would make it decide.
    // keepGoing, when given, is asked every few hundred points; when it answers false the sum
    // stops and returns infinity.
    double distanceSum(const QVector<QPointF> &points, QVector<int> *hints = nullptr,
                       double above = std::numeric_limits<double>::infinity(),
                       const std::function<bool()> *keepGoing = nullptr) const;

    static constexpr double kNoDistance = 1e100;

    // Whether the distance tree is built, so that the next query does not build it.
    bool hasDistanceTree() const;
    // How many distance trees this process has built so far: a diagnostic of what a change of
    // the drawing costs.
    static quint64 distanceTreesBuilt();

    // Bytes the drawing holds in its storage and its distance tree (when built).
    qint64 storageBytes() const;
    // Whether the two drawings still share their storage (a copy does until either changes).
    bool sharesStorageWith(const DxfDrawing &other) const;

private:
    struct Segment
    {
        QPointF start;
        QPointF end;
    };
    struct Arc
    {
        QPointF centre;
        double radius;
        double startAngle;
        double spanAngle;
        bool fullCircle;
    };
    class Tree;
    struct Placement;

    // The kind of entry i (top two bits) and its index in the store of its kind.
    static constexpr quint32 kIndexBits = 30;
    static constexpr quint32 kIndexMask = (quint32(1) << kIndexBits) - 1;

    Segment segment(int k) const { return Segment {m_ends.at(2 * k), m_ends.at(2 * k + 1)}; }
    double entityDistance(int i, const QPointF &p, double below) const;
    QRectF entityBounds(int i) const;
    // Where entity i starts (first) or ends: a segment's end, the centre of any other entity.
    QPointF chordEnd(int i, bool first) const;
    // Points whose convex hull holds entity i (a segment's ends, the corners of other bounds)
    // into points; returns their number (at most 4).
    int hullPoints(int i, QPointF *points) const;
    // The tree for the entities as they are now, with where they lie relative to it; built when
    // missing.
    std::shared_ptr<const Placement> tree() const;
    void dropTree();
    // Moves the tree with the drawing by p -> (c·x − s·y + dx, s·x + c·y + dy), widening its
    // margins by the rounding of the motion; drops it once they would have widened the queries'
    // reach by a part in a million (after about a million motions).
    void moveTree(double c, double s, double dx, double dy);

    QVector<quint32> m_entries;
    // The two ends of every segment, one after the other (a point vector grows in place).
    QVector<QPointF> m_ends;
    QVector<Arc> m_arcs;
    QVector<DxfEntity> m_ellipses;
    // Shared by copies until either changes; replaced, never changed, so a query holds it safely.
    mutable std::shared_ptr<const Placement> m_tree;
};
