#pragma once

#include "processing/Fitting.h"

#include <QVector>

// The height distribution of a profile (material-ratio curve, its core line and the Rk family,
// the amplitude density and Dp) and the moving-average detrending. A profile is two channels, X
// and Y in micrometres.
namespace Algos {

// Material-ratio curve: 100 rows, channel 0 the share in percent of the points at or above the
// level, channel 1 the level. Row 0 holds the highest level (min + 0.99·range), row 99 the
// profile's minimum with ratio 100. A profile without channels or without a height range gives
// two empty channels.
QVector<QVector<double>> materialRatioCurve(const QVector<QVector<double>> &profile);

// The least-squares line level = c0 + c1·ratio through the flattest run of consecutive rows that
// spans at least 40 percentage points; the earliest of equally flat runs wins. Without such a
// run the line has no coefficients.
Algos::RMS materialRatioCoreLine(const QVector<QVector<double>> &curve);

// Read from the curve and its core line; 0 for a curve of fewer than two rows and when the
// curve has no core line.
double calcRk(const QVector<QVector<double>> &curve);
double calcRpk(const QVector<QVector<double>> &curve);
double calcRvk(const QVector<QVector<double>> &curve);
double calcMr1(const QVector<QVector<double>> &curve);
double calcMr2(const QVector<QVector<double>> &curve);

// Amplitude density between two levels: one row per height window, channel 0 the window's
// middle level, channel 1 the share in percent of the points inside it (both ends included).
// The window grows by one percent of the range from [0, 1] to density + 1 percent, slides up one
// percent per row and then shrinks to [99, 100]: 100 + density rows, density taken in 0..99.
// A profile of unequal channels or fewer than two points gives a set without channels.
QVector<QVector<double>> amplitudeDensity(const QVector<QVector<double>> &profile, int density,
                                          double lower, double upper);

// The amplitude density of the points strictly inside a rectangle, between the rectangle's
// Y edges clipped to the profile's height range.
QVector<QVector<double>> amplitudeDensityInRect(const QVector<QVector<double>> &profile,
                                                int density, double xLower, double xUpper,
                                                double yLower, double yUpper);

// The share of the first density window whose middle lies strictly above the section level;
// 0 when there is none or the curve has fewer than two rows.
double calcDp(const QVector<QVector<double>> &density, double sectionLevel);

// Y minus the mean of Y over the points with X in [X - halfWidth, X + halfWidth).
QVector<QVector<double>> movingAverageDetrend(const QVector<QVector<double>> &profile,
                                              double halfWidth);

} // namespace Algos
