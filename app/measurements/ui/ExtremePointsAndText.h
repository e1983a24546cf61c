#pragma once

#include "measurements/ui/Measurement.h"

#include <QPointer>

class QCPItemText;
class QWidget;

// The measurements that mark a point of a range without a value: the highest or the lowest
// data point of a range dragged along a trace gets the reper point. The release that ends the
// drag finishes the measurement once the range holds points.
class AdditionalGeometrySelection : public Measurement
{
    Q_OBJECT

public:
    AdditionalGeometrySelection(int type, Plot *plot, const QString &name, bool maximum);

    QString name() const override;
    QString valueText() const override;
    double value() const override;
    bool hasValue() const override { return false; }
    void calculate() override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;

private:
    void onMouseRelease(QMouseEvent *event);

    QString displayName;
    bool maximum;
};

// The highest point of a range ("Точка максимума").
class FindMaxPoint : public AdditionalGeometrySelection
{
    Q_OBJECT
public:
    explicit FindMaxPoint(Plot *plot);
};

// The lowest point of a range ("Точка минимума").
class FindMinPoint : public AdditionalGeometrySelection
{
    Q_OBJECT
public:
    explicit FindMinPoint(Plot *plot);
};

// A text that the operator types and places with a click ("Текст"). The text item stays hidden
// until it is placed; it follows a change of the display unit.
class AgTextPlacement : public Measurement
{
    Q_OBJECT

public:
    // parent is the parent of the text prompt.
    AgTextPlacement(QWidget *parent, Plot *plot);
    ~AgTextPlacement() override;

    QString name() const override;
    QString valueText() const override;
    double value() const override;
    bool hasValue() const override { return false; }
    void calculate() override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;

    QCPItemText *textItem() const { return text; }

private:
    void onMouseRelease(QMouseEvent *event, QWidget *parent);

    QPointer<QCPItemText> text;
    QString displayName;
};
