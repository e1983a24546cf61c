// The tip-radius compensation of a contour trace, and how soon a read stops when it is cancelled
// while the trace is being finished.
//
// Shapes of X: forward (a point every 0.1 µm), forward and back (2·10^5 samples, 0.5 µm, out and
// back again), 20 sweeps (10^6 samples over 50 mm, out and back ten times), one X (5·10^4
// samples standing at one place, all within each other's reach) and forward and back 1 nm
// apart (2·10^5 samples, the whole trace within reach of every sample). Tip radius 20 µm.
#include "core/ContourTrace.h"
#include "dataproviders/DataProvider.h"
#include "processing/DataProcessors.h"

#include <QSemaphore>
#include <benchmark/benchmark.h>

#include <chrono>
#include <cmath>
#include <memory>
#include <thread>

namespace {

enum Shape { Forward, ForwardAndBack, TwentySweeps, OneX, ForwardAndBackNanometres };

TData contourColumns(Shape shape)
{
    const int n = shape == ForwardAndBack || shape == ForwardAndBackNanometres ? 200000
        : shape == OneX                                                        ? 50000
                                                                               : 1000000;
    TData columns(3);
    for (QVector<double> &channel : columns)
        channel.resize(n);
    for (int i = 0; i < n; ++i) {
        double x = 0.0;
        switch (shape) {
        case Forward:
            x = i * 0.1;
            break;
        case ForwardAndBack:
            x = (i < n / 2 ? i : n - i) * 0.5;
            break;
        case OneX:
            x = 1000.0;
            break;
        case ForwardAndBackNanometres:
            x = (i < n / 2 ? i : n - i) * 0.001;
            break;
        case TwentySweeps: {
            const double phase = 20.0 * i / n;
            const int sweep = int(phase);
            const double f = phase - sweep;
            x = (sweep % 2 == 0 ? f : 1.0 - f) * 50000.0;
            break;
        }
        }
        columns[0][i] = x;
        columns[1][i] = 30.0 * std::sin(x / 700.0) + 0.8 * std::sin(i * 0.37);
        columns[2][i] = 0.0;
    }
    return columns;
}

std::unique_ptr<ContourTrace> contour(Shape shape)
{
    auto trace = std::make_unique<ContourTrace>(contourColumns(shape));
    trace->toolHeadRadiusDown = 20.0;
    trace->toolHeadRadiusUp = 20.0;
    return trace;
}

void BM_CompensateToolRadius(benchmark::State &state)
{
    const std::unique_ptr<ContourTrace> source = contour(Shape(state.range(0)));
    for (auto _ : state) {
        state.PauseTiming();
        ContourTrace trace(*source);
        state.ResumeTiming();
        trace.compensateToolRadius();
        benchmark::DoNotOptimize(trace.processedData->at(1).constData());
    }
    state.counters["samples"] = source->processedData->at(1).size();
}
BENCHMARK(BM_CompensateToolRadius)
    ->ArgName("shape")
    ->Arg(Forward)
    ->Arg(ForwardAndBack)
    ->Arg(TwentySweeps)
    ->Arg(OneX)
    ->Arg(ForwardAndBackNanometres)
    ->Unit(benchmark::kMillisecond);

// Gives a prepared trace its samples at once, so that the road goes straight on to finishing.
class MemoryProvider : public DataProvider
{
public:
    explicit MemoryProvider(const TData &columns)
        : DataProvider(QStringLiteral("memory"))
        , m_columns(columns)
    { }
    ~MemoryProvider() override { finishWorker(); }
    void prepare() override { }
    bool obtainData() override
    {
        QVector<double> sample(3);
        for (int i = 0; i < m_columns.at(0).size(); ++i) {
            for (int c = 0; c < 3; ++c)
                sample[c] = m_columns.at(c).at(i);
            trace()->appendPoint(sample);
        }
        return true;
    }

private:
    const TData m_columns;
};

// Tells that the post-processing, and so the finishing after it, has begun.
class StartSignal : public IDataPostProcessor
{
public:
    explicit StartSignal(QSemaphore *started)
        : m_started(started)
    { }
    void process(QVector<QVector<double>> &) override { m_started->release(); }
    IDataPostProcessor *clone() const override { return new StartSignal(m_started); }

private:
    QSemaphore *m_started;
};

// The road of a read finishes the trace; 20 ms into the finishing the read is cancelled, and the
// time until the road has ended is the latency.
void BM_CancelDuringFinishing(benchmark::State &state)
{
    const TData columns = contourColumns(Shape(state.range(0)));
    double worst = 0.0;
    for (auto _ : state) {
        ContourTrace trace;
        trace.toolHeadRadiusDown = 20.0;
        trace.toolHeadRadiusUp = 20.0;
        QSemaphore started;
        trace.addPostProcessor(new StartSignal(&started));
        MemoryProvider provider(columns);
        provider.start(&trace);
        started.acquire();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        const auto cancelled = std::chrono::steady_clock::now();
        provider.cancel();
        provider.waitForFinished();
        const double latency = std::chrono::duration<double, std::milli>(
                                   std::chrono::steady_clock::now() - cancelled)
                                   .count();
        worst = std::max(worst, latency);
        state.SetIterationTime(latency / 1000.0);
    }
    state.counters["worst latency ms"] = worst;
}
BENCHMARK(BM_CancelDuringFinishing)
    ->ArgName("shape")
    ->Arg(ForwardAndBack)
    ->Arg(TwentySweeps)
    ->UseManualTime()
    ->Iterations(5)
    ->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
