#pragma once

#include <QString>
#include <QVector>

// A processing step over a trace's whole data set (one inner vector per channel, all of equal
// length; channel 0 X, channel 1 Y). The trace that receives a processor owns it.
class IDataPostProcessor
{
public:
    IDataPostProcessor() = default;
    explicit IDataPostProcessor(const QString &processorName)
        : name(processorName)
    { }

    // Changes the data set in place (it may replace it by one of another length).
    virtual void process(QVector<QVector<double>> &data) { Q_UNUSED(data) }
    virtual ~IDataPostProcessor() = default;
    // A new processor of the same class with the same parameters; the caller owns it.
    virtual IDataPostProcessor *clone() const = 0;
    // The most memory `process` takes beyond the data set for one of `samples` samples (its
    // work buffers and copies). A read counts it before it reads, so that what it admits can
    // also be processed.
    virtual qint64 workBytes(qint64 samples) const
    {
        Q_UNUSED(samples)
        return 0;
    }

    // Names the processor and its parameter; informational only.
    QString name;

protected:
    IDataPostProcessor(const IDataPostProcessor &) = default;
    IDataPostProcessor &operator=(const IDataPostProcessor &) = default;
};

// A processing step applied to each sample (one value per channel) as it is appended.
class IDataSinglePointProcessor
{
public:
    IDataSinglePointProcessor() = default;
    virtual void process(QVector<double> &sample) = 0;
    virtual ~IDataSinglePointProcessor() = default;
    // A new processor of the same class with the same parameters; the caller owns it.
    virtual IDataSinglePointProcessor *clone() const = 0;

protected:
    IDataSinglePointProcessor(const IDataSinglePointProcessor &) = default;
    IDataSinglePointProcessor &operator=(const IDataSinglePointProcessor &) = default;
};
