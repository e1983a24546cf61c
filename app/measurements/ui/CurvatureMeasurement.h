#pragma once

#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"

#include <QPointer>

class QCPItemEllipse;
class QCPItemLine;
class QCPItemText;

// The measurements that fit a circle to ranges dragged along a trace: the two radius kinds draw
// the circle, a radius line towards the cursor and a value label that the next left release
// places; the two circle kinds ("Окружность") draw the circle alone as construction geometry
// and finish at the release that completes their range. The centre is the reper point. Radii
// are in the display unit.
class CurvatureMeasurement : public Measurement
{
    Q_OBJECT

public:
    CurvatureMeasurement(int type, Plot *plot, const QString &name, int requiredSelections);
    ~CurvatureMeasurement() override;

    QString name() const override;
    // The radius with four decimals and the unit suffix; "неизвестно" while there is no range
    // or the ranges fix no circle.
    QString valueText() const override;
    double value() const override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;
    void updateUnits() override;

    bool hasValue() const override { return known; }
    bool isPlacingValue() const { return placingValue; }
    QString unit() const { return unitSuffix; }
    QCPItemLine *radiusLineItem() const { return radiusLine; }
    QCPItemEllipse *circleItem() const { return circle; }
    QCPItemText *valueLabel() const { return label; }

protected:
    void setUnitSuffix();
    void setCircle(const QPointF &centre, double r);
    void showLabel(const QString &text, const QPointF &position, double rotation, int alignment);
    // The radius kinds' drawing: circle, radius line towards the cursor, label at the cursor.
    void showResult(const QPointF &centre, double r);
    void setItemsVisible(bool visible);
    // The ranges fix no circle: the value is unknown and nothing is drawn.
    void showUnknown();
    // The construction kinds' drawing: the circle and its centre only.
    void showCircle(const QPointF &centre, double r);

    double radius = 0.0;
    bool known = false;
    QString unitSuffix;

private:
    void onMouseRelease(QMouseEvent *event, int requiredSelections);

    QPointer<QCPItemLine> radiusLine;
    QPointer<QCPItemEllipse> circle;
    QPointer<QCPItemText> label;
    bool placingValue = false;
    QString displayName;
    KindItems items;
};

// The radius of the circle fitted to one range ("Радиус").
class RegularRadiusMeasurement : public CurvatureMeasurement
{
    Q_OBJECT
public:
    explicit RegularRadiusMeasurement(Plot *plot);
    void calculate() override;

private:
    QPointF centre;
    double fitted = 0.0;
};

// The radius of one circle fitted to two ranges, two arcs of the same circle ("Радиус (A)").
class ArcsRadiusMeasurement : public CurvatureMeasurement
{
    Q_OBJECT
public:
    explicit ArcsRadiusMeasurement(Plot *plot);
    void calculate() override;

private:
    QPointF centre;
    double fitted = 0.0;
};

// The circle fitted to one range, as construction geometry ("Окружность").
class CircumfAGMeasurement : public CurvatureMeasurement
{
    Q_OBJECT
public:
    explicit CircumfAGMeasurement(Plot *plot);
    void calculate() override;
    bool constructionCircle(QPointF *centre, double *radius) const override;

    QPointF circleCentre() const { return centre; }

private:
    QPointF centre;
};

// A circle of a given radius laid into one range, as construction geometry ("Окружность"): it
// starts at the centre of the fitted circle, moves to where its radius fits the points best and
// then settles vertically onto the points of the range.
class CircumfAGSpecified : public CurvatureMeasurement
{
    Q_OBJECT
public:
    // givenRadius in the display unit of the moment.
    CircumfAGSpecified(Plot *plot, double givenRadius);
    void calculate() override;
    void updateUnits() override;
    bool constructionCircle(QPointF *centre, double *radius) const override;

    QPointF circleCentre() const { return centre; }
    double givenRadius() const { return radius; }

private:
    QPointF centre;
};
