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
    QVector<QVector<double>> filtered = Algos::gaussianFilter(data, band.longCut, band.shortCut);
    // A stopped filter keeps the data as they were.
    if (!Algos::cancellationRequested())
        data = std::move(filtered);
}

IDataPostProcessor *FilterRoughnessProfileProcessor::clone() const
{
    return new FilterRoughnessProfileProcessor(filterLength);
}

FilterWaveProfileProcessor::FilterWaveProfileProcessor(double cutOff)
    : IDataPostProcessor(QStringLiteral("Filter ") + numberText(cutOff))
    , filterLength(cutOff)
{ }

void FilterWaveProfileProcessor::process(QVector<QVector<double>> &data)
{
    const Algos::CutOffBand band = Algos::wavinessFilterBand(filterLength);
    QVector<QVector<double>> filtered = Algos::gaussianFilter(data, band.longCut, band.shortCut);
    // A stopped filter keeps the data as they were.
    if (!Algos::cancellationRequested())
        data = std::move(filtered);
}

IDataPostProcessor *FilterWaveProfileProcessor::clone() const
{
    return new FilterWaveProfileProcessor(filterLength);
}

YZeronator::YZeronator()
    : IDataPostProcessor(QStringLiteral("YZeronator"))
{ }

void YZeronator::process(QVector<QVector<double>> &data)
{
    if (data.size() < 2 || data.at(1).isEmpty())
        return;
    QVector<double> &y = data[1];
    const double lowest = *std::min_element(y.cbegin(), y.cend());
    for (double &v : y)
        v -= lowest;
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
