// The live-trace provider: points from the device go into a real trace on the GUI thread while
// the worker waits for the trace to end; end to end with the simulated instrument.

#include "core/ContourTrace.h"
#include "core/ProfileTrace.h"
#include "core/Settings.h"
#include "dataproviders/DeviceDataProvider.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QDeadlineTimer>
#include <QSignalSpy>
#include <QtTest>

#include <memory>

using testsupport::SimulatedInstrument;

namespace {

constexpr int kWaitMs = 5000;

QString batchesText(const QSignalSpy &spy)
{
    QStringList parts;
    for (const QList<QVariant> &args : spy)
        parts << QStringLiteral("%1+%2").arg(args.at(0).toInt()).arg(args.at(1).toInt());
    return parts.join(QLatin1Char(' '));
}

// The provider's signals come from its worker thread straight into the spies, possibly before
// the test starts to wait; so the test waits for a count, not for the next emission.
bool waitForCount(const QSignalSpy &spy, int count)
{
    QDeadlineTimer deadline(kWaitMs);
    while (spy.count() < count && !deadline.hasExpired())
        QTest::qWait(5);
    return spy.count() >= count;
}

int rawCount(const AbstractTrace &trace)
{
    return trace.rawData->isEmpty() ? 0 : trace.rawData->first().size();
}

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

private slots:
    void init() { testsupport::resetSettings(); }

    void noRunningTraceFinishesAtOnce()
    {
        Device device;
        QVERIFY(openOnLine(device));
        ProfileTrace trace;
        DeviceDataProvider provider(&device);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        provider.start(&trace);
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(rawCount(trace), 0);
        QVERIFY(provider.lastResult());
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
        QSignalSpy started(&provider, &DataProvider::dataReadStarted);
        QSignalSpy batches(&provider, &DataProvider::dataBatchReady);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        provider.start(&trace);
        QVERIFY(waitForCount(started, 1));
        for (int i = 0; i < 20; ++i)
            emit device.dataRecieved(100.0 + i, 500.0, 1000.0 + 10 * i, Device::kContourBatch);
        device.traceStarted = false;
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(batchesText(batches), QStringLiteral("0+8 8+8"));
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
        QSignalSpy batches(&provider, &DataProvider::dataBatchReady);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        for (int i = 0; i < 150; ++i)
            emit device.dataRecieved(i, 0, i, Device::kBlockBatch);
        provider.start(&trace);
        for (int i = 150; i < 250; ++i)
            emit device.dataRecieved(i, 0, i, Device::kBlockBatch);
        device.traceStarted = false;
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(rawCount(trace), 250);
        QCOMPARE(trace.rawData->at(0).at(149), 149.0);
        QCOMPARE(trace.rawData->at(0).at(150), 150.0);
        QCOMPARE(batchesText(batches), QStringLiteral("0+100 100+100"));
    }

    void previewResetEmptiesTheTrace()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ProfileTrace trace;
        DeviceDataProvider provider(&device);
        QSignalSpy started(&provider, &DataProvider::dataReadStarted);
        QSignalSpy batches(&provider, &DataProvider::dataBatchReady);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        int samplesAtReset = -1;
        connect(&provider, &DataProvider::dataReset, this,
                [&] { samplesAtReset = rawCount(trace); });
        provider.start(&trace);
        QVERIFY(waitForCount(started, 1));
        for (int i = 0; i < 3; ++i)
            emit device.dataRecieved(7, 0, i * 40000.0, Device::kPreviewBatch);
        QTRY_COMPARE_WITH_TIMEOUT(batches.count(), 3, kWaitMs);
        emit device.dataReset();
        QCOMPARE(samplesAtReset, 0);
        for (int i = 0; i < 250; ++i)
            emit device.dataRecieved(i * 1e-3, 0, i, Device::kBlockBatch);
        device.traceStarted = false;
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(batchesText(batches), QStringLiteral("0+1 1+1 2+1 0+100 100+100"));
        QCOMPARE(rawCount(trace), 250);
        QCOMPARE(trace.rawData->at(0).first(), 0.0);
    }

    void destroyingTheProviderEndsTheWait()
    {
        Device device;
        QVERIFY(openOnLine(device));
        device.traceStarted = true;
        ProfileTrace trace;
        auto provider = std::make_unique<DeviceDataProvider>(&device);
        QSignalSpy started(provider.get(), &DataProvider::dataReadStarted);
        provider->start(&trace);
        QVERIFY(waitForCount(started, 1));
        QElapsedTimer timer;
        timer.start();
        provider.reset();
        // The wait is woken, not left to run out its step.
        QVERIFY2(timer.elapsed() < DeviceDataProvider::kWaitStepMs,
                 qPrintable(QString::number(timer.elapsed())));
        QVERIFY(device.traceStarted);
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
        connect(&device, &Device::pushButtonStopTrace, &device, &Device::stopTrace);
        QTRY_VERIFY_WITH_TIMEOUT(sim.received.endsWith(profilometer ? "PS0" : "SX0"), kWaitMs);
        QTRY_COMPARE_WITH_TIMEOUT(device.replyState, profilometer ? 1 : 11, kWaitMs);
        qunsetenv(DevicePort::kPortsVariable);

        std::unique_ptr<AbstractTrace> trace;
        if (profilometer)
            trace = std::make_unique<ProfileTrace>();
        else
            trace = std::make_unique<ContourTrace>();
        trace->setType(device.deviceKind);
        device.startTrace();
        DeviceDataProvider provider(&device);
        QSignalSpy batches(&provider, &DataProvider::dataBatchReady);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        provider.start(trace.get());
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(rawCount(*trace), points);
        QCOMPARE(trace->rawData->at(0).first(), firstX);
        QCOMPARE(trace->rawData->at(0).last(), lastX);
        // The profilometer's preview was announced point by point before the reset.
        int full = 0;
        for (const QList<QVariant> &args : batches)
            full += args.at(1).toInt() == batchSize ? 1 : 0;
        QCOMPARE(full, points / batchSize);
        QCOMPARE(batches.last().at(0).toInt(), points - batchSize);
        QCOMPARE(trace->name(), sim.linkPath());
    }

    void portLossKeepsTheRecordedPoints()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        SimulatedInstrument sim(SimulatedInstrument::Contourograph);
        QVERIFY(sim.isValid());
        qputenv(DevicePort::kPortsVariable, sim.linkPath().toLocal8Bit());
        Device device;
        QTRY_COMPARE_WITH_TIMEOUT(device.replyState, 11, kWaitMs);
        qunsetenv(DevicePort::kPortsVariable);
        ContourTrace trace;
        trace.setType(CONTOUR);
        sim.stallAfterPackets = 16;
        device.startTrace();
        DeviceDataProvider provider(&device);
        QSignalSpy finished(&provider, &DataProvider::dataReadFinished);
        provider.start(&trace);
        QTRY_COMPARE_WITH_TIMEOUT(rawCount(trace), 16, kWaitMs);
        sim.dropLine();
        QVERIFY(waitForCount(finished, 1));
        QCOMPARE(rawCount(trace), 16);
        QCOMPARE(trace.rawData->at(0).last(), 1150.0);
    }
};

QTEST_GUILESS_MAIN(TestDeviceDataProvider)
#include "tst_DeviceDataProvider.moc"
