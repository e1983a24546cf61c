// The data road of the profile window with a trace of 10^6 points: opening a native file, from
// the file name to the last batch drawn and the parameter table filled; and a live recording
// announced in batches of 100 points on the GUI thread, timed batch by batch (the longest batch
// is what the user feels as a stall).
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "core/TraceFileWriter.h"
#include "dataproviders/DataProvider.h"
#include "dataproviders/FileDataProvider.h"
#include "profile/ProfileAnalisisWidget.h"
#include "profile/TraceList.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <atomic>
#include <benchmark/benchmark.h>
#include <cmath>
#include <memory>

namespace {

constexpr int kMillion = 1000000;

QString millionPointFile(const QTemporaryDir &dir)
{
    const QString path = dir.filePath(QStringLiteral("million.txt"));
    if (QFileInfo::exists(path))
        return path;
    ProfileTrace trace;
    trace.setType(PROFILE);
    trace.filterLength = 800;
    trace.speed = 0.5;
    for (int i = 0; i < kMillion; ++i) {
        QVector<double> sample {i * 0.01, std::sin(i / 300.0) + 0.2 * std::sin(i / 7.0)};
        trace.appendPoint(sample);
    }
    writeTraceFile(path, &trace);
    return path;
}

// A profile window of the size the benchmarks draw in, shown and laid out.
std::unique_ptr<ProfileAnalisisWidget> shownWindow()
{
    auto window = std::make_unique<ProfileAnalisisWidget>();
    window->resize(1600, 900);
    window->show();
    QApplication::processEvents();
    return window;
}

// Runs the event loop until the window's first trace is read and its parameters are shown,
// then once more for the queued replot of the last batch.
void waitForTable(ProfileAnalisisWidget &window)
{
    TraceList *list = window.traceList();
    const auto tableFilled = [list] {
        if (list->traces.isEmpty() || list->readingTrace)
            return false;
        return !static_cast<ProfileTrace *>(list->traces.first())->parameterResults.isEmpty();
    };
    while (!tableFilled())
        QApplication::processEvents(QEventLoop::AllEvents, 5);
    QApplication::processEvents();
}

void BM_OpenMillionPointFile(benchmark::State &state)
{
    static QTemporaryDir dir;
    const QString path = millionPointFile(dir);
    Settings::instance()->view.axis_unit = 1;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = shownWindow();
        state.ResumeTiming();
        window->setDataProvider(new FileDataProvider(path));
        window->startReading(PROFILE);
        // Up to the parameter table filled (the parameters are evaluated beside the window).
        waitForTable(*window);
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_OpenMillionPointFile)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

// The longest time the GUI thread does not answer while the same file opens, from the file name
// to the filled parameter table: a precise 2 ms timer ticks through the whole opening, and the
// longest gap between two ticks, less the interval, is the stall the user feels (the counter
// longest_stall_ms; the time is that of the whole opening, as above).
void BM_OpenMillionPointFileStall(benchmark::State &state)
{
    static QTemporaryDir dir;
    const QString path = millionPointFile(dir);
    Settings::instance()->view.axis_unit = 1;
    qint64 longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = shownWindow();
        QElapsedTimer clock;
        qint64 last = 0;
        qint64 gap = 0;
        QTimer heartbeat;
        heartbeat.setTimerType(Qt::PreciseTimer);
        heartbeat.setInterval(2);
        QObject::connect(&heartbeat, &QTimer::timeout, [&] {
            const qint64 now = clock.nsecsElapsed();
            gap = std::max(gap, now - last);
            last = now;
        });
        state.ResumeTiming();
        clock.start();
        heartbeat.start();
        window->setDataProvider(new FileDataProvider(path));
        window->startReading(PROFILE);
        waitForTable(*window);
        heartbeat.stop();
        gap = std::max(gap, clock.nsecsElapsed() - last);
        longest = std::max(longest, gap - qint64(2000000));
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.counters["longest_stall_ms"] = double(longest) / 1e6;
}
BENCHMARK(BM_OpenMillionPointFileStall)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(3);

// A profile file of n empty additional traces after one short main trace: from the file name to
// the traces listed and drawn. The time per additional trace must not grow with n.
void BM_OpenManyAdditionalTraces(benchmark::State &state)
{
    const int n = int(state.range(0));
    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("many.txt"));
    {
        QFile file(path);
        file.open(QIODevice::WriteOnly);
        QByteArray text = "trace_type:PROFILE\nspeed:1\nfilter:800\naddittional_trace_count:"
            + QByteArray::number(n) + "\npoint_count:2\n0\t1\n1\t2\n";
        for (int i = 0; i < n; ++i)
            text += "trace_type:ADDITIONAL_TRACE\nspeed:1\nfilter:800\npoint_count:0\n";
        file.write(text);
    }
    Settings::instance()->view.axis_unit = 1;
    for (auto _ : state) {
        state.PauseTiming();
        auto window = shownWindow();
        state.ResumeTiming();
        window->setDataProvider(new FileDataProvider(path));
        window->startReading(PROFILE);
        TraceList *list = window->traceList();
        while (list->traces.size() < n + 1 || list->readingTrace)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        QApplication::processEvents();
        state.PauseTiming();
        window.reset();
        state.ResumeTiming();
    }
    state.counters["us_per_trace"] = benchmark::Counter(
        double(n) * state.iterations(), benchmark::Counter::kIsRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OpenManyAdditionalTraces)
    ->Arg(125)
    ->Arg(250)
    ->Arg(500)
    ->Arg(1000)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(2);

// A provider that appends nothing by itself: the benchmark appends on the GUI thread and
// announces the batches, as the instrument's provider does; its worker waits until told.
class HandFedProvider : public DataProvider
{
public:
    HandFedProvider()
        : DataProvider(QStringLiteral("hand"))
    { }
    ~HandFedProvider() override { finishWorker(); }
    void prepare() override { }
    bool obtainData() override
    {
        while (!done.load() && !cancelRequested())
            QThread::msleep(2);
        return true;
    }
    void announce(int from, int count) { emit dataBatchReady(from, count); }
    std::atomic<bool> done {false};
};

void BM_LiveRecordingBatches(benchmark::State &state)
{
    Settings::instance()->view.axis_unit = 1;
    for (auto _ : state) {
        auto window = shownWindow();
        auto *provider = new HandFedProvider;
        window->setDataProvider(provider);
        window->startReading(PROFILE);
        TraceList *list = window->traceList();
        while (!list->readingTrace)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        AbstractTrace *trace = provider->trace();
        qint64 longest = 0;
        QElapsedTimer timer;
        for (int from = 0; from < kMillion; from += 100) {
            timer.start();
            for (int i = from; i < from + 100; ++i) {
                QVector<double> sample {i * 0.01, std::sin(i / 300.0)};
                trace->appendPoint(sample);
            }
            provider->announce(from, 100);
            QApplication::processEvents();
            longest = std::max(longest, timer.nsecsElapsed());
        }
        provider->done = true;
        while (list->readingTrace)
            QApplication::processEvents(QEventLoop::AllEvents, 5);
        state.counters["longest_batch_ms"] = double(longest) / 1e6;
        window.reset();
    }
}
BENCHMARK(BM_LiveRecordingBatches)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
