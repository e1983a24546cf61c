#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"

// A contourograph trace: three channels (X, Y and the console height) with the probe's
// calibration values, the measurement mode and the needle pressing.
class ContourTrace : public AbstractTrace
{
public:
    ContourTrace();
    // Appends sample (columns[0][i], columns[1][i], columns[2][i]) for each index of
    // columns[0]; no post-processor and no finishing runs.
    explicit ContourTrace(const TData &columns);
    ContourTrace(const ContourTrace &other) = default;
    ~ContourTrace() override = default;

    void finalizeAfterRead() override;
    AbstractTrace *clone() const override;
    QString headerText() const override;

    double toolHeadRadiusDown = 0.0;
    double toolHeadRadiusUp = 0.0;
    double doubleSidedProbeHigh = 0.0;
    double rackPerpendicular = 0.0;
    double roughnessRatio = 0.0;
    double needleBias = 0.0;
    double xAxisCompressionRatio = 1.0;
    double yAxisCompressionRatio = 1.0;
    double displacementCoefficient = 0.0;
    int measurementMode = 0;
    MovementSettings::E_NEEDLE_PRESSING needlePressing = MovementSettings::E_PRESSING_DOWN;
};
