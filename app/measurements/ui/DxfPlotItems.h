#pragma once

#include "measurements/DxfDrawing.h"

#include <QPointer>
#include <QVector>
#include <qcustomplot.h>

class Plot;

// An open polyline given in plot coordinates, drawn with a pen: the outline of an ellipse of a
// drawing, which the library's ellipse item cannot show turned.
class QCPItemPolyline : public QCPAbstractItem
{
    Q_OBJECT

public:
    explicit QCPItemPolyline(QCustomPlot *parentPlot);

    void setPoints(const QVector<QPointF> &points) { m_points = points; }
    const QVector<QPointF> &points() const { return m_points; }
    void setPen(const QPen &pen) { m_pen = pen; }
    QPen pen() const { return m_pen; }

    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;

protected:
    void draw(QCPPainter *painter) override;

private:
    QVector<QPointF> pixelPoints() const;

    QVector<QPointF> m_points;
    QPen m_pen;
};

// The plot items of a drawing, one per entity in entity order: a line item for a segment, an
// arc item for a circle or an arc, a polyline item for an ellipse. They live on the layer
// "overlay" and leave the plot with this object.
class DxfPlotItems
{
public:
    explicit DxfPlotItems(Plot *plot);
    ~DxfPlotItems();
    DxfPlotItems(const DxfPlotItems &) = delete;
    DxfPlotItems &operator=(const DxfPlotItems &) = delete;

    // Makes the items show the drawing: creates them on the first call, moves them afterwards.
    void show(const DxfDrawing &drawing);
    void clear();

    int size() const { return m_items.size(); }
    QCPAbstractItem *item(int i) const { return m_items.at(i); }

private:
    QCPAbstractItem *create(DxfEntity::Kind kind);
    static void place(QCPAbstractItem *item, const DxfEntity &entity);

    QPointer<Plot> m_plot;
    QVector<QCPAbstractItem *> m_items;
};
