#pragma once

#include "core/AbstractTrace.h"
#include "core/Settings.h"

#include <array>

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

    // Turns the processed X and Y, the path of the probe tip, into the contour of the part:
    // spreads runs of equal X, smooths (measurement mode 0), compensates the tip radius and, with
    // the needle pressing up, moves the trace into the frame of the lower tip. The switches come
    // from the settings record at every call. Under a stopped cancellation scope (a data
    // provider's read that is cancelled) the step that sees the stop leaves the data as it
    // found them and the steps after it do not run.
    void finalizeAfterRead() override;
    // Gaussian low-pass of processed X and Y with the cut-off min(20, tip radius); the samples the
    // filter trims at the ends leave every channel.
    void smooth();
    // Each Y becomes the lowest (needle down) or highest (needle up) point above its X of the
    // tip circles centred on the recorded points within one radius of it. Where X runs back or
    // stands still the circles within reach are searched in a tree, so the work stays near-linear
    // in the samples, however many lie within reach of each other.
    void compensateToolRadius();
    AbstractTrace *clone() const override;
    QString headerText() const override;
    // Also the finishing: the smoothing's filter and the radius compensation's output.
    qint64 processingWorkBytes(qint64 samples) const override;

    // The calibration values: all of them from the settings' calibration group (with the
    // measurement mode), the five probe values of a console, or every calibration value of
    // another contour trace. The needle pressing is not a calibration value and stays.
    void takeCalibration(const CalibrationSettings &calibration, int mode);
    void takeProbeValues(const ConsoleParams &console);
    void takeCalibration(const ContourTrace &other);

    // A calibration value of the file header: its key, the member it is read into and the
    // setting a header without the key takes.
    struct HeaderValue
    {
        QString key;
        double ContourTrace::*member;
        double CalibrationSettings::*setting;
    };
    // The calibration values of the header in the order they are written, between the needle
    // pressing and the measurement mode.
    static constexpr size_t kHeaderValueCount = 9;
    static const std::array<HeaderValue, kHeaderValueCount> &headerValues();

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

private:
    // The radius of the tip that touches the part; a negative or unknown radius counts as 0.
    double contactRadius() const;
};
