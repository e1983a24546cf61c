#pragma once

#include "measurements/ui/Measurement.h"
#include "processing/Fitting.h"

// Levelling turns the whole contour so that a chosen straight stretch lies horizontal: the turn
// about the first point of the first selected range by the angle that makes the least-squares
// line of the selected points horizontal. The measurement finishes and reports the angle and
// centre (setNewAngleAndCenterRot), on which the measurements manager turns every curve and item
// of the plot in place (MeasurementsManager::transformGeometry), then asks for every listed
// measurement to be recalculated (graphDataChanged). It gives no value and is never listed.
//
// A release whose selection gives no line (no point, a single point, points that all share one
// x) does not level: the status asks for a stretch and the measurement keeps selecting.
class LayFlatMeasurement : public Measurement
{
    Q_OBJECT

public:
    // One dragged range.
    explicit LayFlatMeasurement(Plot *plot);

    QString name() const override;
    QString valueText() const override;
    double value() const override { return 0.0; }
    bool hasValue() const override { return false; }
    // Fits the line to the selected range.
    void calculate() override;
    QString groupName() const override { return QString(); }
    void setLargeLabel(bool) override { }
    void updateLabel() override { }
    // Hides the plot's selection marker.
    void updateSelectionMarker() override;
    void setSelected(bool) override { }

    const Algos::RMS &lineFit() const { return fit; }

protected:
    LayFlatMeasurement(int kind, Plot *plot);
    // The rotation that lays the fitted line horizontal: the angle (radians) and the first point
    // of the first selected range as its centre.
    void levellingRotation(double &angle, QPointF &centre) const;
    // Finishes and reports the turn, which the manager applies to the plot.
    void levelCurves(double angle, const QPointF &centre);
    bool fitIsUsable() const;

    Algos::RMS fit;

private:
    void onPlotMouseRelease(QMouseEvent *event);
};

// Levelling by one line through the points of two dragged ranges (they may lie on different
// curves). The angle and centre are also written where the creator asked.
class LayFlatByTwoMeasurement : public LayFlatMeasurement
{
    Q_OBJECT

public:
    LayFlatByTwoMeasurement(Plot *plot, double *angleTarget, QPointF *centreTarget);

    // Fits one line through both ranges; asks for two lines until both exist.
    void calculate() override;
    // Leaves the selection marker as it is.
    void updateSelectionMarker() override { }

private:
    void onPlotMouseRelease(QMouseEvent *event);

    double *angleTarget;
    QPointF *centreTarget;
};
