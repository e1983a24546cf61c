#pragma once

#include <qcustomplot.h>

// An elliptical arc: the part of the ellipse inscribed in the rectangle from topLeft to
// bottomRight that starts at startAngle and runs over spanAngle. Angles are in sixteenths of a
// degree as QPainter::drawArc takes them (0 at three o'clock, positive counter-clockwise on the
// screen). The hit test is the library ellipse's, so it measures against the whole ellipse.
class QCPItemArc : public QCPAbstractItem
{
    Q_OBJECT
    Q_PROPERTY(QPen pen READ pen WRITE setPen)
    Q_PROPERTY(QPen selectedPen READ selectedPen WRITE setSelectedPen)
    Q_PROPERTY(QBrush brush READ brush WRITE setBrush)
    Q_PROPERTY(QBrush selectedBrush READ selectedBrush WRITE setSelectedBrush)

public:
    explicit QCPItemArc(QCustomPlot *parentPlot);
    ~QCPItemArc() override;

    QPen pen() const { return m_pen; }
    QPen selectedPen() const { return m_selectedPen; }
    QBrush brush() const { return m_brush; }
    QBrush selectedBrush() const { return m_selectedBrush; }

    void setPen(const QPen &pen) { m_pen = pen; }
    void setSelectedPen(const QPen &pen) { m_selectedPen = pen; }
    void setBrush(const QBrush &brush) { m_brush = brush; }
    void setSelectedBrush(const QBrush &brush) { m_selectedBrush = brush; }

    QPen mainPen() const { return mSelected ? m_selectedPen : m_pen; }
    QBrush mainBrush() const { return mSelected ? m_selectedBrush : m_brush; }

    double selectTest(const QPointF &pos, bool onlySelectable,
                      QVariant *details = nullptr) const override;

    QCPItemPosition *const topLeft;
    QCPItemPosition *const bottomRight;
    int startAngle = 0;
    int spanAngle = 360 * 16;

protected:
    void draw(QCPPainter *painter) override;

private:
    QPen m_pen;
    QPen m_selectedPen;
    QBrush m_brush;
    QBrush m_selectedBrush;
};
