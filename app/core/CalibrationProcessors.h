#pragma once

#include "processing/DataProcessors.h"

#include <QVector>

// The processing steps that apply the instrument's calibration: the probe's non-linearity table
// and the calibration values of the contourograph. Unlike the profile processors they read the
// settings (and the table file) as they run, so a calibration changed meanwhile takes effect.

// Subtracts the probe non-linearity correction from Y. The table (X, correction) is read from
// non_linearity/non_linearity.txt in the working directory when the processor is constructed and
// sorted by X; a row with a number that is not finite is left out and logged. It corrects only
// while the setting preferenses/non_linearity is on, the table holds more than one row and the
// file still exists. A sample at the X of two rows with the same X takes the first row's
// correction.
class NonLinearityEliminationProcessor : public IDataPostProcessor
{
public:
    NonLinearityEliminationProcessor();
    ~NonLinearityEliminationProcessor() override;
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;

    // Channel 0 X, channel 1 the correction; owned.
    QVector<QVector<double>> *table;

private:
    NonLinearityEliminationProcessor(const NonLinearityEliminationProcessor &) = delete;
    NonLinearityEliminationProcessor &operator=(const NonLinearityEliminationProcessor &) = delete;
};

// Turns a raw contour sample (x, y, console height w) into calibrated coordinates with the
// current calibration settings; w is not changed.
class ContourConversionPointProcessor : public IDataSinglePointProcessor
{
public:
    ContourConversionPointProcessor() = default;
    void process(QVector<double> &sample) override;
    IDataSinglePointProcessor *clone() const override;
};
