#include "processing/PostProcessors.h"

#include "processing/Cancellation.h"
#include "processing/CutOffs.h"
#include "processing/ProfileFilters.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace {

constexpr double kDegreesToRadians = 0.017453292519943295;

QString numberText(double value)
{
    return QString::number(value, 'g', 6);
}

// The band filter of a profile in place, as Algos::gaussianFilter gives it: a data set that is no
// profile (or holds a value that is not finite) becomes empty; a stopped filter keeps the data as
// they were.
void filterProfile(QVector<QVector<double>> &data, const Algos::CutOffBand &band)
{
    const bool refused = data.size() != 2
        || Algos::gaussianFilterInPlace(data, band.longCut, band.shortCut)
            == Algos::FilterInPlace::Refused;
    if (refused && !Algos::cancellationRequested())
        data.clear();
}

} // namespace

DataMedianFilterProcessor::DataMedianFilterProcessor(int medianWindow)
    : IDataPostProcessor(QStringLiteral("Median") + QString::number(medianWindow))
    , window(medianWindow)
{ }

void DataMedianFilterProcessor::process(QVector<QVector<double>> &data)
{
    Algos::medianFilter(window, data);
}

IDataPostProcessor *DataMedianFilterProcessor::clone() const
{
    return new DataMedianFilterProcessor(window);
}

qint64 DataMedianFilterProcessor::workBytes(qint64 samples) const
{
    // The unfiltered Y, which the window reads while Y is written.
    return samples * qint64(sizeof(double));
}

ThreadAngleCompensationProcessor::ThreadAngleCompensationProcessor(double angleDegrees)
    : IDataPostProcessor(QStringLiteral("Angle ") + numberText(angleDegrees))
    , angle(angleDegrees)
{ }

void ThreadAngleCompensationProcessor::process(QVector<QVector<double>> &data)
{
    if (data.isEmpty())
        return;
    const double factor = std::cos(angle * kDegreesToRadians);
    for (double &x : data[0])
        x *= factor;
}

IDataPostProcessor *ThreadAngleCompensationProcessor::clone() const
{
    return new ThreadAngleCompensationProcessor(angle);
}

FilterRoughnessProfileProcessor::FilterRoughnessProfileProcessor(double cutOff)
    : IDataPostProcessor(QStringLiteral("Filter ") + numberText(cutOff))
    , filterLength(cutOff)
{ }

void FilterRoughnessProfileProcessor::process(QVector<QVector<double>> &data)
{
    const Algos::CutOffBand band = Algos::roughnessFilterBand(filterLength);
    filterProfile(data, band);
}

IDataPostProcessor *FilterRoughnessProfileProcessor::clone() const
{
    return new FilterRoughnessProfileProcessor(filterLength);
}

qint64 FilterRoughnessProfileProcessor::workBytes(qint64 samples) const
{
    return Algos::gaussianFilterWorkBytes(samples);
}

FilterWaveProfileProcessor::FilterWaveProfileProcessor(double cutOff)
    : IDataPostProcessor(QStringLiteral("Filter ") + numberText(cutOff))
    , filterLength(cutOff)
{ }

void FilterWaveProfileProcessor::process(QVector<QVector<double>> &data)
{
    const Algos::CutOffBand band = Algos::wavinessFilterBand(filterLength);
    filterProfile(data, band);
}

IDataPostProcessor *FilterWaveProfileProcessor::clone() const
{
    return new FilterWaveProfileProcessor(filterLength);
}

qint64 FilterWaveProfileProcessor::workBytes(qint64 samples) const
{
    return Algos::gaussianFilterWorkBytes(samples);
}

YZeronator::YZeronator()
    : IDataPostProcessor(QStringLiteral("YZeronator"))
{ }

void YZeronator::process(QVector<QVector<double>> &data)
{
    if (data.size() < 2 || data.at(1).isEmpty())
        return;
    const QVector<double> &heights = data.at(1);
    const double lowest = *std::min_element(heights.cbegin(), heights.cend());
    if (heights.isDetached()) {
        for (double &v : data[1])
            v -= lowest;
        return;
    }
    // Y is shared (with the raw samples after a read): the result goes into room of its own,
    // written once, instead of a copy that is then written over.
    QVector<double> y = Algos::filterRoom(heights.size());
    for (const double v : heights)
        y.append(v - lowest);
    data[1] = std::move(y);
}

IDataPostProcessor *YZeronator::clone() const
{
    return new YZeronator;
}

XZeronator::XZeronator()
    : IDataPostProcessor(QStringLiteral("XZeronator"))
{ }

void XZeronator::process(QVector<QVector<double>> &data)
{
    if (data.isEmpty() || data.at(0).isEmpty())
        return;
    QVector<double> &x = data[0];
    const double first = x.first();
    for (double &v : x)
        v -= first;
}

IDataPostProcessor *XZeronator::clone() const
{
    return new XZeronator;
}
