// The live-trace provider: points from the device go into a real trace on the GUI thread while
// the worker waits for the trace to end; end to end with the simulated instrument.
//
// The provider's signals are received by a log on the GUI thread (queued from the worker), and
// the trace is read on the GUI thread only, where its points are appended: the test never reads
// what the worker writes.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "support/ProviderSignalLog.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QtTest>

#include <atomic>
#include <memory>
#include <thread>

using testsupport::SimulatedInstrument;
using SignalLog = testsupport::ProviderSignalLog<DataProvider>;

namespace {

constexpr int kWaitMs = 5000;

QStringList batchEvents(const SignalLog &log)
{
    QStringList batches;
    for (const QString &event : log.events) {
        if (event.startsWith(QLatin1String("batch ")))
            batches << event.mid(6);
    }
    return batches;
}

int rawCount(const AbstractTrace &trace)
{
    return trace.rawData->isEmpty() ? 0 : trace.rawData->first().size();
}

// Ends a trace that a fault would otherwise keep running for ever, so that a failing test ends
// with a failure instead of a hang.
class TraceWatchdog
{
public:
    TraceWatchdog(Device &device, int afterMs)
        : m_thread([this, &device, afterMs] {
            QElapsedTimer clock;
            clock.start();
            while (!m_done && clock.elapsed() < afterMs)
                QThread::msleep(10);
            if (!m_done)
                device.traceStarted = false;
        })
    { }
    ~TraceWatchdog()
    {
        m_done = true;
        m_thread.join();
    }

private:
    std::atomic<bool> m_done {false};
    std::thread m_thread;
};

} // namespace

class TestDeviceDataProvider : public QObject
{
    Q_OBJECT

private:
    // The device's link is open on a quiet line, so that no port loss ends a trace.
    testsupport::PseudoTerminal line;

    bool openOnLine(Device &device)
    {
        const QString path = line.slavePath();
        device.port->setPortLister([path] {
            return QList<SerialPortCandidate> {{path, path, true, true}};
        });
        QSignalSpy opened(&device, &Device::deviceOpened);
        return opened.wait(kWaitMs);
    }

    // A device identified by the simulated instrument, with its trace stopped by the
    // instrument's stop alarm as the panel would stop it.
    static bool connectToInstrument(Device &device, SimulatedInstrument &sim)
    {
        const bool profilometer = sim.kind == SimulatedInstrument::Profilometer;
        connect(&device, &Device::pushButtonStopTrace, &device, &Device::stopTrace);
        const bool identified = QTest::qWaitFor(
            [&] { return device.replyState == (profilometer ? 1 : 11); }, kWaitMs);
        qunsetenv(DevicePort::kPortsVariable);
        return identified;
    }

private slots:
    void init() { testsupport::resetSettings(); }

    // A contour trace is measured from its first point; a profile trace only from the end of
    // its preview, which a trace that is not running never reaches.
    void noRunningTraceFinishesAtOnce_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("measured");
        QTest::newRow("contour") << int(CONTOUR) << true;
        QTest::newRow("profile") << int(PROFILE) << false;
    }
    void noRunningTraceFinishesAtOnce()
    {
        QFETCH(int, type);
        QFETCH(bool, measured);
        Device device;
        QVERIFY(openOnLine(device));
        std::unique_ptr<AbstractTrace> trace;
        if (type == CONTOUR)
            trace = std::make_unique<ContourTrace>();
        else
            trace = std::make_unique<ProfileTrace>();
        trace->setType(type);
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        QVERIFY(provider.start(trace.get()));
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(log.events, (QStringList {"started", "finished"}));
        QCOMPARE(rawCount(*trace), 0);
        QCOMPARE(provider.lastResult(), measured);
        QCOMPARE(provider.measurementBegan(), measured);
    }

    void contourPointsAreAnnouncedInBatches()
    {
        Settings::modify([](Settings &s) {
            s.calibration.x_axis_compression_ratio = 2.0;
            s.movement.needle_pressing = MovementSettings::E_PRESSING_DOWN;
        });
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ContourTrace trace;
        trace.setType(CONTOUR);
        trace.needlePressing = MovementSettings::E_PRESSING_UP;
        DeviceDataProvider provider(&device);
        // The pressing is read when the worker prepares the trace, not at construction.
        Settings::modify(
            [](Settings &s) { s.movement.needle_pressing = MovementSettings::E_PRESSING_UP; });
        SignalLog log(provider);
        QVERIFY(provider.start(&trace));
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("started"), kWaitMs);
        for (int i = 0; i < 20; ++i)
            emit device.dataRecieved(100.0 + i, 500.0, 1000.0 + 10 * i, Device::kContourBatch);
        device.traceStarted = false;
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(log.events, (QStringList {"started", "batch 0 8", "batch 8 8", "finished"}));
        // Points after the end are not taken.
        emit device.dataRecieved(1.0, 500.0, 5000.0, Device::kContourBatch);
        QCOMPARE(rawCount(trace), 20);
        QCOMPARE(trace.rawData->at(0).last(), 1190.0);
        QCOMPARE(trace.rawData->at(2).first(), 500.0);
        // The point step converted the samples (X doubled).
        QCOMPARE(trace.convertedData->at(0).first(), 2000.0);
        QCOMPARE(trace.needlePressing, MovementSettings::E_PRESSING_UP);
        QCOMPARE(trace.name(), provider.source());
        QCOMPARE(trace.pointProcessors.size(), 1);
    }

    void pointsBeforeTheWorkerStartsAreKept()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ProfileTrace trace;
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        // The profilometer's preview has ended: the block's samples follow.
        emit device.dataReset();
        for (int i = 0; i < 150; ++i)
            emit device.dataRecieved(i, 0, i, Device::kBlockBatch);
        QVERIFY(provider.start(&trace));
        for (int i = 150; i < 250; ++i)
            emit device.dataRecieved(i, 0, i, Device::kBlockBatch);
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("started"), kWaitMs);
        device.traceStarted = false;
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(rawCount(trace), 250);
        QCOMPARE(trace.rawData->at(0).at(149), 149.0);
        QCOMPARE(trace.rawData->at(0).at(150), 150.0);
        QCOMPARE(log.events, (QStringList {"started", "batch 0 100", "batch 100 100", "finished"}));
    }

    // The worker gets going while the GUI thread is busy inside a parse that delivers points:
    // a receiver on the GUI thread still sees dataReadStarted first and every batch in order.
    void batchesFollowStartedInOrderWhileTheGuiIsBusy()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ContourTrace trace;
        trace.setType(CONTOUR);
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        std::atomic<bool> workerStarted {false};
        connect(
            &provider, &DataProvider::dataReadStarted, &provider,
            [&workerStarted] { workerStarted = true; }, Qt::DirectConnection);
        QVERIFY(provider.start(&trace));
        // No event is processed in this loop, as in a long parse.
        int points = 0;
        QElapsedTimer clock;
        clock.start();
        qint64 startedAt = -1;
        while (clock.elapsed() < 10000 && (startedAt < 0 || clock.elapsed() - startedAt < 100)) {
            if (startedAt < 0 && workerStarted)
                startedAt = clock.elapsed();
            emit device.dataRecieved(1.0, 500.0, 10.0 * points, Device::kContourBatch);
            ++points;
        }
        QVERIFY(startedAt >= 0);
        for (int i = 0; i < 16; ++i, ++points)
            emit device.dataRecieved(1.0, 500.0, 10.0 * points, Device::kContourBatch);
        device.traceStarted = false;
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);

        QCOMPARE(log.events.first(), QStringLiteral("started"));
        QCOMPARE(log.events.last(), QStringLiteral("finished"));
        const QStringList batches = batchEvents(log);
        QCOMPARE(batches.size(), points / Device::kContourBatch);
        QCOMPARE(log.events.size(), batches.size() + 2);
        for (int i = 0; i < batches.size(); ++i)
            QCOMPARE(batches.at(i), QStringLiteral("%1 8").arg(8 * i));
        QCOMPARE(rawCount(trace), points);
    }

    void previewResetEmptiesTheTrace()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ProfileTrace trace;
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        int samplesAtReset = -1;
        connect(&provider, &DataProvider::dataReset, this,
                [&] { samplesAtReset = rawCount(trace); });
        QVERIFY(provider.start(&trace));
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("started"), kWaitMs);
        // The first preview point is announced once the intake is open (which the worker asks
        // for just after dataReadStarted): the window has been shown the preview.
        emit device.dataRecieved(7, 0, 0.0, Device::kPreviewBatch);
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("batch 0 1"), kWaitMs);
        for (int i = 1; i < 3; ++i)
            emit device.dataRecieved(7, 0, i * 40000.0, Device::kPreviewBatch);
        QVERIFY(!provider.measurementBegan());
        emit device.dataReset();
        QCOMPARE(samplesAtReset, 0);
        QVERIFY(provider.measurementBegan());
        for (int i = 0; i < 250; ++i)
            emit device.dataRecieved(i * 1e-3, 0, i, Device::kBlockBatch);
        device.traceStarted = false;
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(log.events,
                 (QStringList {"started", "batch 0 1", "batch 1 1", "batch 2 1", "reset",
                               "batch 0 100", "batch 100 100", "finished"}));
        QCOMPARE(rawCount(trace), 250);
        QCOMPARE(trace.rawData->at(0).first(), 0.0);
        QVERIFY(provider.lastResult());
    }

    void destroyingTheProviderEndsTheWait()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ProfileTrace trace;
        auto provider = std::make_unique<DeviceDataProvider>(&device);
        SignalLog log(*provider);
        QVERIFY(provider->start(&trace));
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("started"), kWaitMs);
        QElapsedTimer timer;
        timer.start();
        provider.reset();
        // The wait is woken, not left to run out its step.
        QVERIFY2(timer.elapsed() < DeviceDataProvider::kWaitStepMs,
                 qPrintable(QString::number(timer.elapsed())));
        QVERIFY(device.traceStarted);
    }

    // Starting a running live provider again, or waiting for it on the GUI thread, must not
    // block the GUI thread: the trace's end could only come through it.
    void theGuiThreadNeverWaitsForALiveRead()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ContourTrace trace;
        trace.setType(CONTOUR);
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        QVERIFY(provider.start(&trace));
        QTRY_VERIFY_WITH_TIMEOUT(log.events.contains("started"), kWaitMs);
        for (int i = 0; i < 20; ++i)
            emit device.dataRecieved(100.0 + i, 500.0, 1000.0 + 10 * i, Device::kContourBatch);
        QTRY_COMPARE_WITH_TIMEOUT(batchEvents(log).size(), 2, kWaitMs);

        TraceWatchdog watchdog(device, 10000);
        QElapsedTimer clock;
        clock.start();
        ContourTrace other;
        QVERIFY(!provider.start(&other));
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(device.traceStarted);

        // Waiting ends the read at once, with the points received so far.
        clock.restart();
        provider.waitForFinished();
        QVERIFY2(clock.elapsed() < 2000, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(!provider.isRunning());
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(rawCount(trace), 20);
        QCOMPARE(rawCount(other), 0);
        QCOMPARE(batchEvents(log), (QStringList {"0 8", "8 8"}));
    }

    // --- end to end ------------------------------------------------------------------------

    void recordsTracesFromTheInstrument_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("points");
        QTest::addColumn<double>("firstX");
        QTest::addColumn<double>("lastX");
        QTest::addColumn<int>("batchSize");
        QTest::newRow("profilometer")
            << int(SimulatedInstrument::Profilometer) << 1000 << 0.0 << 999.0 << 100;
        QTest::newRow("contourograph")
            << int(SimulatedInstrument::Contourograph) << 40 << 1000.0 << 1390.0 << 8;
    }

    void recordsTracesFromTheInstrument()
    {
        QFETCH(int, kind);
        QFETCH(int, points);
        QFETCH(double, firstX);
        QFETCH(double, lastX);
        QFETCH(int, batchSize);
        const bool profilometer = kind == SimulatedInstrument::Profilometer;
        if (!profilometer)
            Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        SimulatedInstrument sim(static_cast<SimulatedInstrument::Kind>(kind));
        QVERIFY(sim.isValid());
        sim.chunkSize = 64;
        qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
        Device device;
        QVERIFY(connectToInstrument(device, sim));
        QTRY_VERIFY_WITH_TIMEOUT(sim.received.endsWith(profilometer ? "PS0" : "SX0"), kWaitMs);

        std::unique_ptr<AbstractTrace> trace;
        if (profilometer)
            trace = std::make_unique<ProfileTrace>();
        else
            trace = std::make_unique<ContourTrace>();
        trace->setType(device.deviceKind);
        device.startTrace();
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        QVERIFY(provider.start(trace.get()));
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(rawCount(*trace), points);
        QCOMPARE(trace->rawData->at(0).first(), firstX);
        QCOMPARE(trace->rawData->at(0).last(), lastX);
        // The profilometer's preview was announced point by point before the reset.
        const QStringList batches = batchEvents(log);
        int full = 0;
        for (const QString &batch : batches)
            full += batch.endsWith(QStringLiteral(" %1").arg(batchSize)) ? 1 : 0;
        QCOMPARE(full, points / batchSize);
        QCOMPARE(batches.last(), QStringLiteral("%1 %2").arg(points - batchSize).arg(batchSize));
        QCOMPARE(trace->name(), sim.linkPath());
    }

    void portLossKeepsTheRecordedPoints()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        SimulatedInstrument sim(SimulatedInstrument::Contourograph);
        QVERIFY(sim.isValid());
        qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
        Device device;
        QVERIFY(connectToInstrument(device, sim));
        ContourTrace trace;
        trace.setType(CONTOUR);
        sim.stallAfterPackets = 16;
        device.startTrace();
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        QVERIFY(provider.start(&trace));
        QTRY_COMPARE_WITH_TIMEOUT(batchEvents(log).size(), 2, kWaitMs);
        sim.dropLine();
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, kWaitMs);
        QCOMPARE(rawCount(trace), 16);
        QCOMPARE(trace.rawData->at(0).last(), 1150.0);
    }

    // The contourograph stops the carriage (alarm 110 with status 109) and goes back to normal
    // status without the stop alarm: the trace ends there, with its points.
    void carriageStopAlarmEndsTheTrace()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        SimulatedInstrument sim(SimulatedInstrument::Contourograph);
        QVERIFY(sim.isValid());
        sim.contourTraceEnd = {{109, 110}, {0, 0}};
        qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
        Device device;
        QVERIFY(connectToInstrument(device, sim));
        ContourTrace trace;
        trace.setType(CONTOUR);
        device.startTrace();
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        TraceWatchdog watchdog(device, 15000);
        QVERIFY(provider.start(&trace));
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, 10000);
        QCOMPARE(rawCount(trace), 40);
        QCOMPARE(trace.rawData->at(0).last(), 1390.0);
        QVERIFY(!device.traceStarted);
        QTRY_COMPARE_WITH_TIMEOUT(sim.count("CA"), 2, kWaitMs);
    }

    // A profilometer trace that ends early. A stop pressed during the preview while the
    // instrument sends nothing more ends it after a bounded wait, and a link lost during the
    // preview at once: nothing was measured, and the preview's raw counts do not become the
    // trace. A stop whose sample block does come is not cut, and a link lost during the block
    // keeps the samples read so far.
    void profilometerTraceEndsEarly_data()
    {
        QTest::addColumn<int>("packetsBeforeStall");
        QTest::addColumn<QString>("end");
        QTest::addColumn<int>("points");
        // The steps header and the preview's samples come; the end marker does not.
        const int wholePreview = 1 + 20;
        QTest::newRow("stop in the preview, the instrument silent") << wholePreview << "stop" << 0;
        QTest::newRow("stop in the preview, the block follows")
            << wholePreview << "stop, then the block" << 1000;
        // The steps header and ten preview samples.
        QTest::newRow("link lost in the preview") << 1 + 10 << "link lost" << 0;
        // The steps header, the preview with its end marker, the block's three headers and half
        // the sample block (-1: some of the block's samples).
        QTest::newRow("link lost in the sample block") << wholePreview + 1 + 3 << "link lost" << -1;
    }

    void profilometerTraceEndsEarly()
    {
        QFETCH(int, packetsBeforeStall);
        QFETCH(QString, end);
        QFETCH(int, points);
        SimulatedInstrument sim(SimulatedInstrument::Profilometer);
        QVERIFY(sim.isValid());
        QCOMPARE(sim.previewSamples, 20);
        sim.stallAfterPackets = packetsBeforeStall;
        qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
        Device device;
        QVERIFY(connectToInstrument(device, sim));
        ProfileTrace trace;
        trace.setType(PROFILE);
        device.startTrace();
        DeviceDataProvider provider(&device);
        SignalLog log(provider);
        TraceWatchdog watchdog(device, 4 * Device::kStopReplyTimeoutMs + 10000);
        QVERIFY(provider.start(&trace));
        // A preview sample is read when the next one begins: the last one before the stall
        // waits.
        if (packetsBeforeStall > 1 + 20)
            QTRY_VERIFY_WITH_TIMEOUT(batchEvents(log).contains(QStringLiteral("0 100")), kWaitMs);
        else
            QTRY_VERIFY_WITH_TIMEOUT(batchEvents(log).size() >= packetsBeforeStall - 2, kWaitMs);

        QElapsedTimer clock;
        if (end == QLatin1String("link lost")) {
            sim.dropLine();
        } else {
            device.stopTrace();
            QTRY_VERIFY_WITH_TIMEOUT(sim.received.endsWith("CCCV"), kWaitMs);
            if (end == QLatin1String("stop, then the block"))
                sim.resume();
            clock.start();
        }
        QTRY_VERIFY_WITH_TIMEOUT(log.finished, 3 * Device::kStopReplyTimeoutMs + 5000);
        QVERIFY(!device.traceStarted);
        const bool measured = points != 0;
        QCOMPARE(provider.lastResult(), measured);
        QCOMPARE(provider.measurementBegan(), measured);
        if (points >= 0) {
            QCOMPARE(rawCount(trace), points);
        } else {
            QVERIFY(rawCount(trace) >= 100);
            QVERIFY(rawCount(trace) < 1000);
        }
        if (measured) {
            // Measured samples, from the start of the block.
            QCOMPARE(trace.rawData->at(0).first(), 0.0);
            QVERIFY(trace.rawData->at(1).first() < 1.0);
        }
        if (end.startsWith(QLatin1String("stop")))
            QCOMPARE(device.replyState, int(Device::POSITION));
        if (end == QLatin1String("stop"))
            QVERIFY(clock.elapsed() >= Device::kStopReplyTimeoutMs / 2);
    }
};

QTEST_GUILESS_MAIN(TestDeviceDataProvider)
#include "tst_DeviceDataProvider.moc"
