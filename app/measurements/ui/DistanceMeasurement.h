#pragma once

#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"
#include "processing/Fitting.h"

#include <QPointer>

class QCPItemLine;
class QCPItemText;

// The length measurements: two extension lines, a dimension line with arrow ends and a value
// label. The input is either two trace points picked with the plot's selection marker (two
// clicks, or a press and a release with preferenses/alternative_measurement set) or one or two
// ranges dragged along a trace; then the label follows the cursor until the next left release
// places it and finishes the measurement. The length is in the display unit.
class DistanceMeasurement : public Measurement
{
    Q_OBJECT

public:
    DistanceMeasurement(int type, Plot *plot, const QString &name, bool regionDriven);
    ~DistanceMeasurement() override;

    QString name() const override;
    // The length with four decimals and the unit suffix; "неизвестно" until a length is known.
    QString valueText() const override;
    // The length; 0 until it is known.
    double value() const override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;
    void updateUnits() override;

    // The trace point under the plot's selection marker (null for the range kinds).
    virtual CurvePointRef markerPoint() const;

    // Of the two picked points the one with the smaller x (the first on equal x), and the other.
    const CurvePointRef &leftPoint() const;
    const CurvePointRef &rightPoint() const;
    // The two picked points of the point kinds; none for the range kinds.
    QVector<CurvePointRef> pickedPoints() const override;

    bool hasValue() const override { return known; }
    bool isPlacingValue() const { return placingValue; }
    int labelAlignment() const { return alignment; }
    QCPItemLine *firstExtensionLine() const { return firstLine; }
    QCPItemLine *secondExtensionLine() const { return secondLine; }
    QCPItemLine *dimensionLineItem() const { return dimensionLine; }
    QCPItemText *valueLabel() const { return label; }

protected:
    void showLabel(const QString &text, const QPointF &position, double rotation, int alignment);
    void setItemsVisible(bool visible);
    // A length has been computed: store it, label it and report it.
    void showValue(double length, const QPointF &labelAt, double rotation, int alignment);
    // No length can be computed from the input: the value is unknown and nothing is drawn.
    void showUnknown();
    void startValuePlacement();
    void finishValuePlacement();
    // Moves a line item (nothing when an end is not a finite number).
    static void placeLine(QCPItemLine *line, const QPointF &from, const QPointF &to);

    CurvePointRef firstPoint;
    CurvePointRef secondPoint;
    QString unitSuffix;

private:
    void onMouseMove(QMouseEvent *event);
    void onMouseRelease(QMouseEvent *event, bool regionDriven);

    int alignment = 0;
    QPointer<QCPItemLine> firstLine;
    QPointer<QCPItemLine> secondLine;
    QPointer<QCPItemLine> dimensionLine;
    QPointer<QCPItemText> label;
    double length = 0.0;
    bool known = false;
    bool releasedOnce = false;
    bool placingValue = false;
    QString displayName;
    KindItems items;
};

// The vertical distance between two picked points ("Высота").
class VerticalDistanceMeasurment : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit VerticalDistanceMeasurment(Plot *plot);
    void calculate() override;
};

// The horizontal distance between two picked points ("Длина").
class HorisontalDistanceMeasurment : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit HorisontalDistanceMeasurment(Plot *plot);
    void calculate() override;
};

// The straight distance between two picked points ("Прямая").
class DirectDistanceMeasurement : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit DirectDistanceMeasurement(Plot *plot);
    void calculate() override;
    // Asks for the range to measure, once the manager has connected the status line.
    void announce() override;
};

// The height between the highest and the lowest point of one range ("Наибольшая высота").
class MaxMinDistanceMeasurement : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit MaxMinDistanceMeasurement(Plot *plot);
    void calculate() override;

private:
    QPointF highest;
    QPointF lowest;
};

// The height between the least-squares lines of two ranges, each read at the middle of its
// range ("Ср. Высота").
class MeanHeightMeasurement : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit MeanHeightMeasurement(Plot *plot);
    void calculate() override;
    CurvePointRef markerPoint() const override;

private:
    QPointF middles[2]; // (x, line height) of each range
};

// The distance between the least-squares lines of two ranges, read at the cursor's x
// ("Ср. Высота", the mean diameter of a part traced on both sides).
class AvgDiametertMeasurement : public DistanceMeasurement
{
    Q_OBJECT
public:
    explicit AvgDiametertMeasurement(Plot *plot);
    void calculate() override;
    CurvePointRef markerPoint() const override;

private:
    struct FittedRange
    {
        Algos::RMS line;
        double firstX = 0.0;
        double lastX = 0.0;
    };
    FittedRange ranges[2];
};
