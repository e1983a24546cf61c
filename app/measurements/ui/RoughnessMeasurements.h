#pragma once

#include "measurements/ContourRoughness.h"
#include "measurements/ui/KindItems.h"
#include "measurements/ui/Measurement.h"

#include <QVector>

class AbstractTrace;
class QCPItemLine;
class QCPItemText;

// Roughness of a stretch of contour selected by one drag: Ra or Rz in micrometres, whatever the
// display unit. The cut-off is chosen by the table of the standard in the settings, the value
// corrected for contours recorded with the roughness sensor, and shown with two boundary lines,
// a dimension line between them at the cursor's height and a label placed with a second click.
//
// While only the label moves the value is not computed again.
class RoughnessMeasurement : public Measurement
{
    Q_OBJECT

public:
    ~RoughnessMeasurement() override;

    QString name() const override { return displayName; }
    // The value with four decimals directly followed by "мкм"; "неизвестно" for a stretch whose
    // x runs back and forth.
    QString valueText() const override;
    double value() const override { return result; }
    // False also when the stretch was too short for a single filter pass.
    bool hasValue() const override { return known && choice.computed; }
    void calculate() override;
    QString groupName() const override;
    void setLargeLabel(bool large) override;
    void updateLabel() override;
    void updateSelectionMarker() override;
    void setSelected(bool selected) override;

    // The kind's parameter of a filtered profile (µm) over sampling lengths of cutOff, corrected
    // when the selected curve is that of a contour recorded with the roughness sensor.
    virtual double parameterValue(const RoughnessProfile &profile, double cutOff) = 0;

    bool isPlacingLabel() const { return placingLabel; }
    QCPItemLine *startBoundary() const { return startLine; }
    QCPItemLine *endBoundary() const { return endLine; }
    QCPItemLine *dimension() const { return dimensionLine; }
    QCPItemText *valueLabel() const { return label; }
    // The cut-off of the value (µm) and the stretch still missing (µm) of the last calculation.
    double cutOff() const { return choice.cutOff; }
    double missingLength() const { return choice.missing; }
    // How many times the cut-off was chosen (not taken from the cache).
    int cutOffSearches() const { return searches; }

    // Micrometres per display unit.
    static double micrometresPerDisplayUnit();

protected:
    RoughnessMeasurement(int kind, Plot *plot, const QString &name,
                         const QVector<AbstractTrace *> &traces);

    // The trace whose curve selection 0 lies on: the trace curves are the first curves of the
    // plot, in the order of the traces.
    AbstractTrace *selectedTrace() const;
    // raw corrected by the trace's roughness ratio and the table, for a contour recorded with
    // the roughness sensor; raw otherwise.
    double corrected(double raw, const CorrectionPoint (&table)[7]) const;
    // The cut-off the standard in the settings prescribes for a value of the parameter.
    virtual int prescribedCutOff(double value) const = 0;

    QVector<AbstractTrace *> traces;

private:
    void createItems();
    void setItemsVisible(bool visible);
    void setLabel(const QString &text, const QPointF &position, double rotation, int alignment);
    void onPlotMouseRelease(QMouseEvent *event);
    // The cached choice still belongs to the selection, its points and the settings.
    bool cacheMatches(const CurveRange &range) const;

    QCPItemLine *startLine = nullptr;
    QCPItemLine *endLine = nullptr;
    QCPItemLine *dimensionLine = nullptr;
    QCPItemText *label = nullptr;
    double result = 0.0;
    bool known = true;
    bool placingLabel = false;
    QString displayName;
    int kind;
    KindItems items;

    CutOffChoice choice;
    bool cacheFilled = false;
    MeasurementSelection cachedSelection;
    const QCPCurveData *cachedStorage = nullptr;
    QVector<double> cachedFingerprint;
    int cachedStandard = -1;
    int cachedUnit = -1;
    int searches = 0;
};

// Ra on the contour (kind 20).
class RAMeasurement : public RoughnessMeasurement
{
    Q_OBJECT

public:
    RAMeasurement(Plot *plot, const QVector<AbstractTrace *> &traces);
    double parameterValue(const RoughnessProfile &profile, double cutOff) override;

protected:
    int prescribedCutOff(double value) const override;
};

// Rz on the contour (kind 21); its cut-off comes from the Rz table of the standard.
class RZMeasurement : public RoughnessMeasurement
{
    Q_OBJECT

public:
    RZMeasurement(Plot *plot, const QVector<AbstractTrace *> &traces);
    double parameterValue(const RoughnessProfile &profile, double cutOff) override;

protected:
    int prescribedCutOff(double value) const override;
};
