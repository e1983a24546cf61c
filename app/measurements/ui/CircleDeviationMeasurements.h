#pragma once

#include "measurements/ui/ErrorMeasurement.h"

class QCPItemEllipse;

// The deviation of a selected arc from a circle: the peak-to-valley of the radial deviations of
// its points (positive inside the circle). The kinds differ in the circle and in how the
// deviations are treated; the base draws the reference circle.
class RadiusDisplacementErrorMeasurement : public ErrorMeasurement
{
    Q_OBJECT

public:
    QCPItemEllipse *referenceCircle() const { return ellipse; }
    // The circle of the last calculation.
    QPointF circleCentre() const { return lastFit().centre; }
    double circleRadius() const { return lastFit().radius; }

    // The width of the moving median of the filtered kinds: 0.25 mm in the display unit.
    static double filterWidth();

protected:
    RadiusDisplacementErrorMeasurement(int kind, Plot *plot, int selectionsNeeded);

    void drawFit(const Fit &fit) override;
    // The reference circle of the fit on the plot.
    void showCircle(const Fit &fit);

    // The fit of one circle to the pooled points of the ranges, the radial deviations of the
    // points of the whole stretch from it, in data order, and their peak-to-valley; the circle's
    // radius is given when radius is above 0 (the centre is then laid against the points),
    // fitted otherwise. filtered: the deviations pass the moving median first.
    FitOutcome fitCircleTo(Fit &fit, bool filtered, double givenRadius = 0.0);

    QCPItemEllipse *ellipse = nullptr;
};

// Deviation from the circle fitted to one range (kind 13).
class RDEMeasurement : public RadiusDisplacementErrorMeasurement
{
    Q_OBJECT

public:
    explicit RDEMeasurement(Plot *plot);

protected:
    FitOutcome computeFit(Fit &fit) override;
};

// Deviation from a circle of given radius laid against the range from the side of its centre
// (kind 14). The radius is in the display unit and follows a change of it.
class RDEMSpecified : public RadiusDisplacementErrorMeasurement
{
    Q_OBJECT

public:
    RDEMSpecified(Plot *plot, double radius);

    void calculate() override;
    void updateUnits() override;
    double givenRadius() const { return radius; }

protected:
    FitOutcome computeFit(Fit &fit) override;

private:
    double radius;
};

// Deviation from the fitted circle after a moving median over 0.25 mm (kind 15).
class RadiusDisplacementFilterErrorMeasurement : public RadiusDisplacementErrorMeasurement
{
    Q_OBJECT

public:
    explicit RadiusDisplacementFilterErrorMeasurement(Plot *plot);

protected:
    FitOutcome computeFit(Fit &fit) override;
};

// Deviation from one circle fitted to N ranges of one curve, over the whole stretch they span
// (kind 16).
class RadiusDisplacementErrorMeasurementByTwoSegment : public RadiusDisplacementErrorMeasurement
{
    Q_OBJECT

public:
    RadiusDisplacementErrorMeasurementByTwoSegment(Plot *plot, int count);

protected:
    RadiusDisplacementErrorMeasurementByTwoSegment(int kind, Plot *plot, int count);
    FitOutcome computeFit(Fit &fit) override;
    virtual bool filtered() const { return false; }
};

// The same with the moving median (kind 17).
class RDEMFiterByTwoSegment : public RadiusDisplacementErrorMeasurementByTwoSegment
{
    Q_OBJECT

public:
    RDEMFiterByTwoSegment(Plot *plot, int count);

protected:
    bool filtered() const override { return true; }
};

// Deviation from the fitted circle drawn as a polar graph round it (kind 18).
class RDEMWithPolarGraph : public RadiusDisplacementErrorMeasurement
{
    Q_OBJECT

public:
    explicit RDEMWithPolarGraph(Plot *plot);

protected:
    FitOutcome computeFit(Fit &fit) override;
    void drawFit(const Fit &fit) override;
};
