#pragma once

#include <QObject>
#include <QPointer>

class QCPAxis;
class QCPItemStraightLine;
class QCPItemText;

// A vertical line with a value label above the plot area, marking one X position on an axis
// (the ends of a selected range of a trace). It is a child of the axis it marks; its line and
// label are items of the axis's plot and leave the plot with the marker.
class XAxisMarker : public QObject
{
    Q_OBJECT

public:
    explicit XAxisMarker(QCPAxis *axis);
    ~XAxisMarker() override;

    // The line through x; the label stands over x at the top edge of the plot area.
    void setPosition(double x, double y);
    // Line and label together.
    void setVisible(bool visible);
    bool isVisible() const;

    QCPItemText *label() const { return m_label; }
    QCPItemStraightLine *line() const { return m_line; }
    double positionX() const { return m_positionX; }
    double positionY() const { return m_positionY; }

private:
    QPointer<QCPAxis> m_axis;
    QPointer<QCPItemStraightLine> m_line;
    QPointer<QCPItemText> m_label;
    double m_positionX = 0.0;
    double m_positionY = 0.0;
};
