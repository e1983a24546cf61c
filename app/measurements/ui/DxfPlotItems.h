#pragma once

#include "measurements/DxfDrawing.h"

#include <QPointer>
#include <QVector>
#include <qcustomplot.h>

class Plot;

// One plot item that draws a whole drawing: segments, arcs and circles, and the outlines of
// ellipses, with one pen.
//
// A drawing may hold millions of entities, so the item does not make anything per entity. It
// keeps a copy of the drawing, which shares the storage of the drawing it was given until either
// changes, and the bounds of each block of kBlock consecutive entities. Drawing passes over the
// blocks and entities outside the visible axis rect, and strokes a run of connected segments
// that stays within half a pixel column or row as the run's first point, its two extremes across
// the band and its last point: the same pixels, with a few points per pixel of the path whatever
// the number of vertices. Arcs are stroked as chords within a tenth of a pixel of them.
class DxfDrawingItem : public QCPAbstractItem
{
    Q_OBJECT

public:
    explicit DxfDrawingItem(QCustomPlot *parentPlot);

    // Shows the drawing (a shared copy) from the next replot.
    void setDrawing(const DxfDrawing &drawing);
    // Lets go of the copy: the item draws nothing until the next setDrawing, and the caller may
    // change its drawing in place without its storage being copied.
    void releaseDrawing();
    const DxfDrawing &drawing() const { return m_drawing; }
    // The plot area the drawing covers (an arc counts with its whole circle); null without a
    // drawing.
    QRectF bounds() const;

    void setPen(const QPen &pen) { m_pen = pen; }
    QPen pen() const { return m_pen; }

    // Bytes the item holds beside the drawing it shares.
    qint64 ownBytes() const;
    // Points and dots stroked by the last draw (lines count two points).
    int strokedPoints() const { return m_strokedPoints; }

    // The drawing takes no clicks: they go to the curves and points beneath it.
    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;

    static constexpr int kBlock = 256;

protected:
    void draw(QCPPainter *painter) override;

private:
    // kBlock consecutive entities: their bounds and, when they are segments that each start where
    // the last ended, the points that stand for them when they all fall within half a pixel
    // column or row: the first, the leftmost, rightmost, lowest and highest and the last, in
    // path order.
    struct Block
    {
        QRectF bounds;
        bool chain = false;
        QPointF summary[6];
    };

    DxfDrawing m_drawing;
    QVector<Block> m_blocks;
    QPen m_pen;
    int m_strokedPoints = 0;
};

// The plot item of a drawing, on the layer "overlay", not selectable; it leaves the plot with
// this object.
class DxfPlotItems
{
public:
    explicit DxfPlotItems(Plot *plot);
    ~DxfPlotItems();
    DxfPlotItems(const DxfPlotItems &) = delete;
    DxfPlotItems &operator=(const DxfPlotItems &) = delete;

    // Makes the item show the drawing: creates it on the first call, hands it the drawing
    // afterwards.
    void show(const DxfDrawing &drawing);
    // The item keeps its place but lets go of the drawing (see DxfDrawingItem::releaseDrawing):
    // called before the drawing shown is moved in place, with show() after the move.
    void release();
    void clear();

    // The item, or null before the first show() and after clear().
    DxfDrawingItem *item() const { return m_item.data(); }

private:
    QPointer<Plot> m_plot;
    QPointer<DxfDrawingItem> m_item;
};
