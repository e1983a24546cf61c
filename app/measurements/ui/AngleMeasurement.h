#pragma once

#include "measurements/Geometry.h"
#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"
#include "plot/QCPItemArc.h"

#include <QPointer>

class QCPItemLine;
class QCPItemText;

// The angle measurements: one or two ranges dragged along a trace are replaced by their
// total-least-squares lines; the cursor then chooses which of the angle and its supplement is
// measured and where the label stands, and the next left release fixes it. The angle is shown
// in decimal degrees or in degrees, minutes and seconds (view/angles_in_deg), between 0 and 180.
class AngleMeasurement : public Measurement
{
    Q_OBJECT

public:
    AngleMeasurement(int type, Plot *plot, const QString &name, int segments);
    ~AngleMeasurement() override;

    QString name() const override;
    // "неизвестно" while the lines fix no angle (no range yet, a range without two distinct
    // points, parallel lines).
    QString valueText() const override;
    double value() const override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;
    void updateUnits() override;
    // The standard angle nearest to the value: 45, 90, 135 or 180.
    double nominalValue() const override;

    bool hasValue() const override { return known; }
    bool isPlacingValue() const { return placingValue; }
    QCPItemLine *firstLineItem() const { return firstLine; }
    QCPItemLine *secondLineItem() const { return secondLine; }
    QCPItemArc *arcItem() const { return arc; }
    QCPItemText *valueLabel() const { return label; }

protected:
    void setItemsVisible(bool visible);
    void setLabel(const QString &text, const QPointF &position, double rotation, int alignment);
    // Draws the angle at vertex between the lines of directions first and second (unit
    // vectors), the sector chosen by the cursor, and reports it.
    void drawAngle(const QPointF &vertex, const QPointF &first, const QPointF &second);
    // The lines fix no angle: unknown, nothing drawn.
    void showUnknown();
    // The fitted line of selection index and the last point of its range; false for a range
    // without two distinct points.
    bool selectionLine(int index, LineRecord *line, QPointF *lastPoint) const;
    // The angle of the line of selection 0 against an axis direction, the vertex at the foot of
    // the range's last point on the line.
    void calculateAgainst(const QPointF &axis);

    LineRecord fitted[2];
    QPointF lastPoint;
    // The two lines of the regular kind are parallel: the measurement cannot be finished.
    bool parallelLines = false;

private:
    void onPlotMouseRelease(QMouseEvent *event, int segments);
    // The arc between the two directions from the vertex, drawn through the cursor's circle.
    void placeArc(const QPointF &vertex, double r, const QPointF &first, const QPointF &second);

    QPointer<QCPItemLine> firstLine;
    QPointer<QCPItemLine> secondLine;
    QPointer<QCPItemArc> arc;
    QPointer<QCPItemText> label;
    KindItems items;
    double angle = 0.0;
    bool known = false;
    bool anglesInDegrees = false;
    bool placingValue = false;
    QString displayName;
};

// The angle of one straight stretch against the vertical ("Угол (В)").
class VerticalAngleMeasurement : public AngleMeasurement
{
    Q_OBJECT
public:
    explicit VerticalAngleMeasurement(Plot *plot);
    void calculate() override;
};

// The angle of one straight stretch against the horizontal ("Угол (Г)").
class HorizontalAngleMeasurement : public AngleMeasurement
{
    Q_OBJECT
public:
    explicit HorizontalAngleMeasurement(Plot *plot);
    void calculate() override;
};

// The angle between two straight stretches ("Угол").
class RegularAngleMeasurement : public AngleMeasurement
{
    Q_OBJECT
public:
    explicit RegularAngleMeasurement(Plot *plot);
    void calculate() override;
};
