#pragma once

#include "processing/DataProcessors.h"

// Y replaced by its moving median over `window` points.
class DataMedianFilterProcessor : public IDataPostProcessor
{
public:
    explicit DataMedianFilterProcessor(int window);
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;
    qint64 workBytes(qint64 samples) const override;

    int window;
};

// Every X multiplied by cos(angle), the angle in degrees.
class ThreadAngleCompensationProcessor : public IDataPostProcessor
{
public:
    explicit ThreadAngleCompensationProcessor(double angle);
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;

    double angle;
};

// The roughness band between λs(lc) and lc (Algos::roughnessFilterBand), trimmed by lc/2 at
// each end.
class FilterRoughnessProfileProcessor : public IDataPostProcessor
{
public:
    explicit FilterRoughnessProfileProcessor(double cutOff);
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;
    qint64 workBytes(qint64 samples) const override;

    double filterLength;
};

// The waviness band between lc and 2·lc − λs(lc) (Algos::wavinessFilterBand), trimmed by lc/2
// at each end.
class FilterWaveProfileProcessor : public IDataPostProcessor
{
public:
    explicit FilterWaveProfileProcessor(double cutOff);
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;
    qint64 workBytes(qint64 samples) const override;

    double filterLength;
};

// The smallest Y is subtracted from every Y.
class YZeronator : public IDataPostProcessor
{
public:
    YZeronator();
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;
};

// The first X is subtracted from every X.
class XZeronator : public IDataPostProcessor
{
public:
    XZeronator();
    void process(QVector<QVector<double>> &data) override;
    IDataPostProcessor *clone() const override;
};
