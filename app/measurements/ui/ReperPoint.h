#pragma once

#include <QObject>
#include <QPoint>
#include <QPointF>
#include <QPointer>
#include <QSet>
#include <QVector>

#include <functional>

class Measurement;
class Plot;
class QCPCurve;
class QCPItemTracer;
class QMouseEvent;

// A marked point of a measurement on the contour plot: the end of a distance, the vertex of an
// angle, the centre of a circle, a crossing of construction lines. Later measurements snap to
// it.
//
// The point is a tracer item (the visible marker) and a curve of one data point that holds its
// position. The curve is in the plot's curve registry, so the plot's selection marker can rest
// on it while snapping is on, and whatever turns the curves of the plot (levelling) turns the
// point with them: the point's position is its curve's point, and the marker follows it at the
// next replot.
class ReperPoint : public QObject
{
    Q_OBJECT

public:
    ReperPoint(Plot *plot, Measurement *owner);
    ~ReperPoint() override;

    // Plot coordinates of the point.
    QPointF position() const;
    Measurement *measurement() const { return owner; }
    void moveTo(const QPointF &p);

    // The cursor snaps only to the points of finished measurements: the owner tells when it is.
    void setOwnerFinished(bool finished) { ownerFinished = finished; }
    bool isOwnerFinished() const { return ownerFinished; }

    // Applies the highlighted or the normal look; returns whether it was highlighted before.
    bool setHighlighted(bool on);
    bool isHighlighted() const { return highlighted; }

    // Whether the plot's selection marker may rest on the point.
    void enableSnapping();
    void disableSnapping();
    bool isSnapTarget() const;

    void setMarkerVisible(bool visible);
    bool isMarkerVisible() const;

    QCPItemTracer *marker() const { return tracer; }
    QCPCurve *snapCurve() const { return curve; }

private:
    void followCurve();

    QPointer<QCPItemTracer> tracer;
    Measurement *owner;
    QPointer<Plot> plot;
    QPointer<QCPCurve> curve;
    bool highlighted = false;
    bool ownerFinished = false;
};

// Knows every placed reper point of one plot, moves the cursor onto a point of a finished
// measurement when it comes within reach, and switches snapping on and off for all points.
class ReperPointController : public QObject
{
    Q_OBJECT

public:
    // Moves the mouse cursor to a global screen position.
    using CursorMover = std::function<void(const QPoint &global)>;

    explicit ReperPointController(Plot *plot);

    // Every point makes the plot's selection marker a snap target, or none does. The markers
    // stay as they are.
    void showPoints();
    void hidePoints();

    // The points in the order they were first placed.
    const QVector<ReperPoint *> &pointList() const { return points; }

    // Replaces the function that moves the cursor (QCursor::setPos by default).
    void setCursorMover(CursorMover mover) { cursorMover = std::move(mover); }

public slots:
    void reperPointChanged(ReperPoint *p);
    void reperPointRemoved(ReperPoint *p);
    // Cursor snapping: a point of a finished measurement within 4 pixels (Manhattan distance)
    // is highlighted, and the cursor is moved onto it when it enters that reach; every other
    // point gets the normal look.
    void mouseMove(QMouseEvent *e);

private:
    QPointer<Plot> plot;
    QVector<ReperPoint *> points;
    QSet<ReperPoint *> known;
    CursorMover cursorMover;
};
