// The instrument's road on the GUI thread, over the pseudo-terminal simulator of the tests: how
// long the event loop stands still while the device panel records a profilometer trace (the
// longest gap of a 5 ms heartbeat, what an operator feels as a stall; the tests gate only real
// freezes of a second), and how long the GUI thread waits when it deletes a live provider whose
// worker is waiting for the trace to end (the worker must be woken, not left to its 500 ms step).
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "device/ui/DeviceControlWidget.h"
#include "support/Heartbeat.h"
#include "support/SimulatedInstrument.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QPushButton>
#include <QThread>
#include <QVBoxLayout>
#include <benchmark/benchmark.h>
#include <memory>

using testsupport::Heartbeat;
using testsupport::PseudoTerminal;
using testsupport::SimulatedInstrument;

namespace {

bool waitFor(const std::function<bool()> &condition, int timeoutMs = 15000)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition() && !deadline.hasExpired())
        QApplication::processEvents(QEventLoop::AllEvents, 2);
    return condition();
}

void BM_PanelRecordingStall(benchmark::State &state)
{
    Settings::instance()->device.device_type = PROFILE;
    SimulatedInstrument sim(SimulatedInstrument::Profilometer);
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    QWidget window;
    window.setObjectName(QStringLiteral("MainWindow"));
    auto *panel = new DeviceControlWidget(&window);
    (new QVBoxLayout(&window))->addWidget(panel);
    window.show();
    auto *start = panel->findChild<QPushButton *>(QStringLiteral("startTraceButton"));
    if (!waitFor([&] {
            return panel->device.replyState == Device::POSITION && sim.received.contains("CM")
                && sim.idle() && start->isEnabled();
        })) {
        state.SkipWithError("the simulated instrument was not identified");
        return;
    }
    std::unique_ptr<ProfileTrace> trace;
    std::unique_ptr<DataProvider> provider;
    bool finished = false;
    QObject::connect(
        panel, &DeviceControlWidget::newTrace, panel, [&](DataProvider *p, E_ANALISIS_TYPE) {
            provider.reset(p);
            trace = std::make_unique<ProfileTrace>();
            trace->setType(PROFILE);
            QObject::connect(p, &DataProvider::dataReadFinished, [&finished] { finished = true; });
            p->start(trace.get());
        });
    qint64 longest = 0;
    for (auto _ : state) {
        finished = false;
        Heartbeat heartbeat;
        start->click();
        if (!waitFor([&] { return finished && start->isEnabled(); })) {
            state.SkipWithError("the trace did not end");
            break;
        }
        longest = std::max(longest, heartbeat.longestStallMs());
        provider.reset();
        trace.reset();
    }
    state.counters["longest_stall_ms"] = double(longest);
    qunsetenv(DevicePort::kPortsVariable);
}
BENCHMARK(BM_PanelRecordingStall)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(10);

void BM_DeleteWaitingLiveProvider(benchmark::State &state)
{
    PseudoTerminal line;
    Device device;
    const QString path = line.slavePath();
    device.port->setPortLister([path] {
        return QList<SerialPortCandidate> {{path, path, true, true}};
    });
    if (!waitFor([&] { return device.port->isOpen(); })) {
        state.SkipWithError("the line did not open");
        return;
    }
    qint64 longest = 0;
    for (auto _ : state) {
        state.PauseTiming();
        device.traceStarted = true;
        ProfileTrace trace;
        auto provider = std::make_unique<DeviceDataProvider>(&device);
        bool started = false;
        QObject::connect(provider.get(), &DataProvider::dataReadStarted,
                         [&started] { started = true; });
        provider->start(&trace);
        waitFor([&] { return started; });
        // Well inside the worker's wait step.
        QThread::msleep(50);
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        provider.reset();
        longest = std::max(longest, clock.nsecsElapsed());
    }
    device.traceStarted = false;
    state.counters["longest_ms"] = double(longest) / 1e6;
}
BENCHMARK(BM_DeleteWaitingLiveProvider)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

// A program started against a contourograph that already sends its packets: the time from the
// device's construction (the port opens on the first event-loop pass) to the contour state, and
// the identification requests ("CP") sent meanwhile. Each iteration is a new start, the line
// filled with the packets sent while no program listened.
void BM_IdentifyStreamingContourograph(benchmark::State &state)
{
    Settings::instance()->device.device_type = CONTOUR;
    SimulatedInstrument sim(SimulatedInstrument::Contourograph);
    qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
    sim.startStreaming();
    qint64 slowest = 0;
    int mostRequests = 0;
    int unidentified = 0;
    for (auto _ : state) {
        state.PauseTiming();
        const int streamed = sim.streamedPackets();
        waitFor([&] { return sim.streamedPackets() >= streamed + 50; });
        const int asked = sim.count("CP");
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        auto device = std::make_unique<Device>();
        if (!waitFor([&] { return device->replyState == Device::CONTOUR_PACKET; }, 5000))
            ++unidentified;
        slowest = std::max(slowest, clock.elapsed());
        mostRequests = std::max(mostRequests, sim.count("CP") - asked);
        state.PauseTiming();
        device.reset();
        state.ResumeTiming();
    }
    state.counters["slowest_ms"] = double(slowest);
    state.counters["most_CP_per_start"] = mostRequests;
    state.counters["unidentified"] = unidentified;
    qunsetenv(DevicePort::kPortsVariable);
}
BENCHMARK(BM_IdentifyStreamingContourograph)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime()
    ->Iterations(20);

} // namespace

int main(int argc, char **argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
