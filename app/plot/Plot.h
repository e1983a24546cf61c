#pragma once

#include "plot/CurveHitTest.h"

#include <QList>
#include <QPoint>
#include <QPointer>
#include <qcustomplot.h>

class QCPCurve;
class QCPItemLine;

// The selection rectangle of the project's plot. It remembers the curve a range drag runs along
// and can stay invisible while its events still drive the selection.
class SelectionRect : public QCPSelectionRect
{
    Q_OBJECT

public:
    explicit SelectionRect(QCustomPlot *parentPlot);

    // The curve chosen for the current range drag (null until one is hit), and the pointer
    // position at the moment it was chosen. Cleared when a drag starts.
    QCPCurve *rangeCurve() const { return m_rangeCurve; }
    QPoint rangeAnchor() const { return m_rangeAnchor; }
    // The curve's selection when it was chosen; an additive drag adds its range to it.
    QCPDataSelection rangeBase() const { return m_rangeBase; }
    void setRangeCurve(QCPCurve *curve, const QPoint &anchor);

    bool rectVisible() const { return m_rectVisible; }
    void setRectVisible(bool visible) { m_rectVisible = visible; }

protected:
    void startSelection(QMouseEvent *event) override;
    void draw(QCPPainter *painter) override;

private:
    QPointer<QCPCurve> m_rangeCurve;
    QPoint m_rangeAnchor;
    QCPDataSelection m_rangeBase;
    bool m_rectVisible = true;
};

// The plot used everywhere in the program. On top of the library's plot it keeps
//  - a registry of its curves (every QCPCurve on the plot, in creation order; graphs and other
//    plottables are not in it);
//  - a selection marker: a dashed grey arrow from the pointer to the nearest data point of the
//    nearest selectable curve, whose point is readable as markerCurve/markerDataIndex;
//  - range selection: a drag selects the data range of one curve between the point nearest to
//    where the drag met the curve and the point nearest to the pointer, optionally in real time
//    and without deselecting the other curves;
//  - the layer "overlay2" above "overlay" for the marker, and tick-label suffixes on its axes.
//
// The project's interaction bits live beside the library's. They are given with the library's
// bits to setInteractions/setInteraction of this class, which hand only the library's bits on.
class Plot : public QCustomPlot
{
    Q_OBJECT

public:
    enum Interaction : int {
        // A rectangle selection does not deselect the other layerables first.
        iKeepSelections = 0x400,
        // The plot has a selection marker; a rectangle selection selects a data range of one
        // curve.
        iRangeSelection = 0x200,
    };
    // Like srmSelect, but the selection is applied on every movement of the rectangle.
    static constexpr QCP::SelectionRectMode srmSelectRealtime = QCP::srmCustom;

    explicit Plot(QWidget *parent = nullptr);
    ~Plot() override;

    // Interactions: the library's QCP::Interaction bits or-ed with the project's.
    void setInteractions(int interactions);
    void setInteraction(int interaction, bool enabled = true);
    int interactionFlags() const;
    bool testInteraction(int interaction) const;

    void setSelectionRectMode(QCP::SelectionRectMode mode);
    void setSelectionRect(SelectionRect *rect);
    SelectionRect *rangeSelectionRect() const;

    // Curve registry. The list is kept between calls and rebuilt after a plottable joins or
    // leaves the plot, so a walk over curveCount() with curve(i) costs one pass.
    QCPCurve *curve(int index) const;
    int curveCount() const;
    QList<QCPCurve *> curves() const;

    // Selection marker.
    void createSelectionMarker();
    void deleteSelectionMarker();
    QCPItemLine *selectionMarker() const { return m_marker; }
    // Whether the marker is wanted on the plot. It is drawn only while it rests on a point: a
    // new marker stays hidden until its first snap, and a marker whose curve has left the plot
    // hides, so that it never points where no curve is.
    void setSelectionMarkerVisible(bool visible);
    // Whether a marker exists and is wanted: it is drawn once it rests on a point.
    bool selectionMarkerShown() const { return m_marker && m_markerWanted; }
    // The point the marker last snapped to: -1 and null before the first snap, and the curve
    // reads null once it has left the plot.
    int markerDataIndex() const { return m_markerCurve ? m_markerDataIndex : -1; }
    QCPCurve *markerCurve() const { return m_markerCurve; }

    // The nearest data point of a curve to a pixel position and its distance (negative: no
    // hit), as the library's curve hit test answers it but fast on monotonic keys.
    CurveHitTester::Hit curveHitTest(const QCPCurve *curve, const QPointF &pos);

protected:
    // Every plottable is a child of the plot: a child that joins or leaves makes the curve list
    // stale.
    void childEvent(QChildEvent *event) override;
    void mouseMoveEvent(QMouseEvent *event) override;
    void processRectSelection(QRect rect, QMouseEvent *event) override;

private:
    QCPCurve *nearestCurve(const QPointF &pos, int *dataIndex);
    void snapMarker(const QPointF &pos);
    void applyInteractions(int interactions);
    void connectRealtime(bool on);

    const QList<QCPCurve *> &curveList() const;

    mutable QList<QCPCurve *> m_curves;
    mutable bool m_curvesValid = false;
    // The number of plottables the list was made from (a plottable being deleted is still
    // registered while its children's events run).
    mutable int m_curvesFromPlottables = 0;
    int m_projectInteractions = 0;
    QPointer<QCPItemLine> m_marker;
    QPointer<QCPCurve> m_markerCurve;
    int m_markerDataIndex = -1;
    bool m_markerWanted = true;
    // The marker item rests on a point of m_markerCurve.
    bool m_markerPlaced = false;
    CurveHitTester m_hitTester;
};
