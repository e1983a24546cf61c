#pragma once

#include "core/AbstractTrace.h"
#include "dataproviders/DataProvider.h"

#include <QThread>

#include <atomic>
#include <cmath>

namespace testsupport {

// A recording from the instrument played by the test: a provider whose road ends through the
// events of its thread, as the instrument's does. Its worker appends a sine of about 1 µm Ra
// (100 µm wavelength, samples 0.5 µm apart) over `length` µm, announcing every 100 samples, and
// ends with `result`: false stands for a trace that ended before its measurement began (it then
// appends nothing). With `hold` the worker waits until `release` is set.
class StandInRecording : public DataProvider
{
public:
    StandInRecording(double length, bool result, bool hold = false)
        : DataProvider(QStringLiteral("stand-in instrument"))
        , m_length(length)
        , m_result(result)
        , m_hold(hold)
    { }
    ~StandInRecording() override { finishWorker(); }

    void prepare() override { }
    bool obtainData() override
    {
        const int n = m_result ? int(m_length / 0.5) + 1 : 0;
        for (int i = 0; i < n; ++i) {
            const double x = i * 0.5;
            QVector<double> sample {x, 1.6 * std::sin(x / 100.0 * 2 * M_PI)};
            trace()->appendPoint(sample);
            if ((i + 1) % 100 == 0)
                emit dataBatchReady(i + 1 - 100, 100);
        }
        while (m_hold && !release && !cancelRequested())
            QThread::msleep(2);
        return m_result;
    }

    std::atomic<bool> release {false};

protected:
    bool endsThroughOwnerThread() const override { return true; }

private:
    double m_length;
    bool m_result;
    bool m_hold;
};

} // namespace testsupport
