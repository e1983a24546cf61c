#pragma once

#include <QVector>

#include <functional>

// The roughness of a selected stretch of contour, in micrometres: the choice of the cut-off by
// the table of a standard, and the correction of contours recorded with the roughness sensor.

using RoughnessProfile = QVector<QVector<double>>;

// One point of a correction table: the factor at a measured value (µm).
struct CorrectionPoint
{
    double x;
    double factor;
};

// The correction factors of Ra and of Rz measured on a contour with the roughness sensor.
extern const CorrectionPoint kRaCorrectionPoints[7];
extern const CorrectionPoint kRzCorrectionPoints[7];

// The factor at x: linear between neighbouring points of the table, the end factors beyond its
// ends, 1 for an x that is not a number.
double roughnessCorrection(double x, const CorrectionPoint (&table)[7]);

// The outcome of the cut-off choice.
struct CutOffChoice
{
    // The parameter of the last pass, at cutOff; 0 when no pass was made.
    double value = 0.0;
    bool computed = false;
    double cutOff = 0.0;
    // The stretch still missing (µm) for two cut-offs of the length the standard prescribes for
    // the value, when the selected one is too short for it; 0 otherwise.
    double missing = 0.0;
};

// Chooses the cut-off of a stretch of profile (X strictly increasing, µm): starting from 800 µm,
// the stretch is filtered with the Gaussian roughness filter of the cut-off, the parameter is
// computed over sampling lengths of the cut-off, and the cut-off that prescribe() gives for the
// value is tried next, until a value rounds to 0 at four decimals, the cut-off settles, a cut-off
// comes again, or the stretch is shorter than two cut-offs. Every pass filters the selected
// stretch itself. parameter(profile, cutOff) computes the value of a filtered profile;
// prescribe(value) gives the cut-off the standard prescribes (µm, 0 for none).
CutOffChoice chooseCutOff(const RoughnessProfile &profile,
                          const std::function<double(const RoughnessProfile &, double)> &parameter,
                          const std::function<int(double)> &prescribe);

// round(v·10000)/10000 == 0, half away from zero: the value reads 0.0000.
bool roundsToZero(double value);
