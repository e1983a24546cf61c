// End-to-end: the device object talks to a simulated controller over a real pseudo-terminal.

#include "core/Settings.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using testsupport::SimulatedInstrument;

namespace {

constexpr int kWaitMs = 5000;

// The points the device reports, reset when it says the preview is to be discarded.
struct PointLog
{
    QVector<double> x;
    QVector<double> y;
    QVector<int> batch;
    int resets = 0;

    void connectTo(Device &device)
    {
        QObject::connect(&device, &Device::dataRecieved,
                         [this](double probe, double, double xpos, int batchSize) {
                             x.append(xpos);
                             y.append(probe);
                             batch.append(batchSize);
                         });
        QObject::connect(&device, &Device::dataReset, [this] {
            x.clear();
            y.clear();
            batch.clear();
            ++resets;
        });
    }
};

} // namespace

class TestDeviceLink : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<SimulatedInstrument> sim;
    std::unique_ptr<Device> device;
    PointLog points;

    // Builds the device on the simulator's line (named through the environment, as a user would)
    // and waits for the identification to finish.
    bool connectDevice(SimulatedInstrument::Kind kind, const QByteArray &lastStartupCommand)
    {
        sim = std::make_unique<SimulatedInstrument>(kind);
        if (!sim->isValid())
            return false;
        qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
        device = std::make_unique<Device>();
        points = PointLog();
        points.connectTo(*device);
        // The panel answers the end of a trace with its stop button.
        connect(device.get(), &Device::pushButtonStopTrace, device.get(), &Device::stopTrace);
        QSignalSpy done(sim.get(), &SimulatedInstrument::commandReceived);
        QDeadlineTimer deadline(kWaitMs);
        while (!sim->received.endsWith(lastStartupCommand) && !deadline.hasExpired())
            done.wait(100);
        return sim->received.endsWith(lastStartupCommand);
    }

private slots:
    void init() { testsupport::resetSettings(); }
    void cleanup()
    {
        device.reset();
        sim.reset();
        qunsetenv(DevicePort::kPortsVariable);
    }

    void identifiesProfilometerWithStartupSequence()
    {
        QVERIFY(connectDevice(SimulatedInstrument::Profilometer, "PS0"));
        QCOMPARE(sim->received, QByteArray("CPCMCqPF2PL1PS0"));
        QCOMPARE(device->deviceKind, PROFILE);
        QCOMPARE(device->replyState, int(Device::POSITION));
        QCOMPARE(Settings::instance()->device.device_type, int(PROFILE));
        QVERIFY(device->port->portName == sim->linkPath().toStdString());
        // Every position packet is answered with "CT" and moves the height bar.
        QSignalSpy bar(device.get(), &Device::setBarValue);
        sim->sendRaw(testsupport::replies::position(1000) + testsupport::replies::position(1200));
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("PS0CTCT"), kWaitMs);
        QCOMPARE(device->consoleHeight, 1200);
        QCOMPARE(bar.last().first().toInt(), 65535 - 1200);
    }

    void identificationWaitsForALateReply()
    {
        sim = std::make_unique<SimulatedInstrument>(SimulatedInstrument::Profilometer);
        QVERIFY(sim->isValid());
        sim->silent = true;
        qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
        device = std::make_unique<Device>();
        QTRY_COMPARE_WITH_TIMEOUT(sim->received, QByteArray("CP"), kWaitMs);
        // The controller answers late and in two pieces.
        const QByteArray reply = testsupport::replies::identification("T46 OK");
        sim->sendRaw(reply.left(9));
        QTRY_VERIFY_WITH_TIMEOUT(sim->idle(), kWaitMs);
        QCOMPARE(device->replyState, int(Device::IDENTIFICATION));
        sim->sendRaw(reply.mid(9));
        QTRY_COMPARE_WITH_TIMEOUT(sim->received, QByteArray("CPCMCqPF2PL1PS0"), kWaitMs);
        QCOMPARE(device->deviceKind, PROFILE);
    }

    void identifiesContourographWithStartupSequence_data()
    {
        QTest::addColumn<int>("measurementMode");
        QTest::addColumn<QByteArray>("startup");
        QTest::addColumn<int>("kind");
        QTest::newRow("contour") << 0 << QByteArray("CPPR0COCMSX0") << int(CONTOUR);
        QTest::newRow("contour with roughness sensor")
            << 2 << QByteArray("CPPR1COCMSX0") << int(CONTOURPROF);
    }

    void identifiesContourographWithStartupSequence()
    {
        QFETCH(int, measurementMode);
        QFETCH(QByteArray, startup);
        QFETCH(int, kind);
        Settings::modify([=](Settings &s) {
            s.device.device_type = CONTOUR;
            s.device.measurement_mode = measurementMode;
        });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QCOMPARE(sim->received, startup);
        QCOMPARE(int(device->deviceKind), kind);
        // The parameter reply follows: the contour state is reached.
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
    }

    void restartedProgramFindsAStreamingContourograph()
    {
        // A contourograph sends its packets all the time, also while no program listens. The
        // program is started, closed and started again against it: every start finds the line
        // full of packets, the last one cut anywhere, and the controller's reply somewhere
        // among those that follow.
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        sim = std::make_unique<SimulatedInstrument>(SimulatedInstrument::Contourograph);
        QVERIFY(sim->isValid());
        sim->deviceParams = {1010000, 990000, 5, 7};
        qputenv(DevicePort::kPortsVariable, sim->linkPath().toLocal8Bit());
        sim->startStreaming();
        qint64 slowest = 0;
        for (int start = 1; start <= 8; ++start) {
            Settings::modify([](Settings &s) { s.calibration.x_axis_compression_ratio = 1.0; });
            // Packets pile up on the line while the program is closed.
            const int streamed = sim->streamedPackets();
            QTRY_VERIFY_WITH_TIMEOUT(sim->streamedPackets() >= streamed + 20 + start, kWaitMs);
            const int asked = sim->count("CP");
            QElapsedTimer clock;
            clock.start();
            device = std::make_unique<Device>();
            QSignalSpy bar(device.get(), &Device::setBarValue);
            QTRY_VERIFY2_WITH_TIMEOUT(device->replyState == Device::CONTOUR_PACKET,
                                      qPrintable(QStringLiteral("start %1: state %2, %3 x CP")
                                                     .arg(start)
                                                     .arg(device->replyState)
                                                     .arg(sim->count("CP") - asked)),
                                      kWaitMs);
            const qint64 elapsed = clock.elapsed();
            slowest = std::max(slowest, elapsed);
            QCOMPARE(device->deviceKind, CONTOUR);
            // The parameters were found among the packets, and the packets after them are read
            // as the instrument's status.
            COMPARE_REL(Settings::instance()->calibration.x_axis_compression_ratio, 1.01, 1e-12);
            QVERIFY(bar.count() > 0 || bar.wait(kWaitMs));
            QCOMPARE(bar.last().first().toInt(), 500);
            QCOMPARE(sim->count("CO"), start);
            // A handful of identification requests, not one for every 20 bytes of packets: the
            // first, and at most one more for every retry interval that the start took.
            const int requests = sim->count("CP") - asked;
            const int allowed = 2 + int(elapsed / Device::kIdentificationRetryMs);
            QVERIFY2(requests >= 1 && requests <= allowed,
                     qPrintable(QStringLiteral("start %1: %2 x CP in %3 ms")
                                    .arg(start)
                                    .arg(requests)
                                    .arg(elapsed)));
            device.reset();
        }
        qInfo("slowest identification: %lld ms", slowest);
    }

    void recordsProfilometerTrace_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::newRow("whole replies") << 0;
        QTest::newRow("replies split in 7-byte reads") << 7;
    }

    void recordsProfilometerTrace()
    {
        QFETCH(int, chunkSize);
        QVERIFY(connectDevice(SimulatedInstrument::Profilometer, "PS0"));
        sim->chunkSize = chunkSize;
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        device->startTrace();
        QVERIFY(stopped.wait(kWaitMs));
        // The preview (its last sample fails the look-ahead) was announced point by point and
        // then discarded; the block follows in batches of 100.
        QCOMPARE(points.resets, 1);
        QCOMPARE(points.x.size(), 1000);
        QVERIFY(std::all_of(points.batch.cbegin(), points.batch.cend(),
                            [](int n) { return n == 100; }));
        QCOMPARE(points.x.first(), 0.0);
        QCOMPARE(points.x.last(), 999.0);
        COMPARE_REL(points.y[1], 37 * 1000 * 1e-8, 1e-12);
        QVERIFY(!device->traceStarted);
        QCOMPARE(device->replyState, int(Device::POSITION));
        // The panel's stop sent "CC" and "CV" while the trace was still marked as running.
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("CSCCCV"), kWaitMs);
    }

    void recordsContourTrace_data()
    {
        QTest::addColumn<int>("chunkSize");
        QTest::addColumn<QByteArray>("junk");
        QTest::newRow("clean line") << 0 << QByteArray();
        QTest::newRow("split packets") << 5 << QByteArray();
        QTest::newRow("junk between packets") << 0 << QByteArray("\x00\xff\x13\x5a", 4);
        QTest::newRow("split packets and junk") << 3 << QByteArray("\x07\x00", 2);
    }

    void recordsContourTrace()
    {
        QFETCH(int, chunkSize);
        QFETCH(QByteArray, junk);
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
        sim->chunkSize = chunkSize;
        sim->junk = junk;
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        device->startTrace();
        QVERIFY(stopped.wait(kWaitMs));
        QCOMPARE(points.x.size(), 40);
        QCOMPARE(points.x.first(), 1000.0);
        QCOMPARE(points.x.last(), 1390.0);
        QCOMPARE(points.batch.first(), 8);
        QVERIFY(std::is_sorted(points.x.cbegin(), points.x.cend()));
        QVERIFY(!device->traceStarted);
        // Alarm 1 is answered with "CA"; the panel's stop then sends "CC" and "CA".
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("CSCACCCA"), kWaitMs);
    }

    void calibratesContourographToCompletion()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
        QSignalSpy loader(device.get(), &Device::openLoader);
        QSignalSpy progress(device.get(), &Device::setStatusProgressBar);
        QSignalSpy normal(device.get(), &Device::normalStatus);
        device->calibration();
        QVERIFY(normal.wait(kWaitMs));
        QCOMPARE(loader.count(), 1);
        QCOMPARE(loader.first().first().toString(), QStringLiteral("Идёт калибровка"));
        QCOMPARE(progress.count(), 8);
        QCOMPARE(progress.last().at(0).toInt(), 100);
        QCOMPARE(progress.last().at(1).toString(), QStringLiteral("Калибровка завершена"));
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("CKCA"), kWaitMs);
    }

    void calibratesProfilometerWithSplitStageText()
    {
        QVERIFY(connectDevice(SimulatedInstrument::Profilometer, "PS0"));
        sim->chunkSize = 4; // "Stage 6" arrives in pieces
        device->calibration();
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::POSITION), kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("Ka01000PL1"), kWaitMs);
    }

    void reportsEmergencyAlarm()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
        device->traceStarted = true;
        QSignalSpy crash(device.get(), &Device::crashDevice);
        sim->sendContourStatus(0, 4);
        QVERIFY(crash.wait(kWaitMs));
        QVERIFY(!device->traceStarted);
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("CA"), kWaitMs);
    }

    void stalledReplyContinuesWhereItStopped()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
        sim->stallAfterPackets = 10;
        device->startTrace();
        QTRY_COMPARE_WITH_TIMEOUT(points.x.size(), 10, kWaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(sim->idle(), kWaitMs);
        QVERIFY(device->traceStarted);
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        sim->resume();
        QVERIFY(stopped.wait(kWaitMs));
        QCOMPARE(points.x.size(), 40);
        QCOMPARE(points.x.last(), 1390.0);
    }

    void portLossMidTraceKeepsPointsAndReconnects()
    {
        Settings::modify([](Settings &s) { s.device.device_type = CONTOUR; });
        QVERIFY(connectDevice(SimulatedInstrument::Contourograph, "SX0"));
        QTRY_COMPARE_WITH_TIMEOUT(device->replyState, int(Device::CONTOUR_PACKET), kWaitMs);
        sim->stallAfterPackets = 16;
        device->startTrace();
        QTRY_COMPARE_WITH_TIMEOUT(points.x.size(), 16, kWaitMs);

        QSignalSpy lost(device.get(), &Device::deviceLost);
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        QSignalSpy opened(device.get(), &Device::deviceOpened);
        sim->dropLine();
        QVERIFY(lost.wait(kWaitMs));
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!device->traceStarted);
        QCOMPARE(device->replyState, int(Device::IDENTIFICATION));
        QVERIFY(!device->port->isOpen());
        QCOMPARE(points.x.size(), 16);

        // The line comes back behind the same path: the next search opens it and identifies
        // the controller again.
        QElapsedTimer sinceBack;
        QVERIFY(sim->restoreLine());
        sinceBack.start();
        QVERIFY(opened.wait(kWaitMs));
        QVERIFY2(sinceBack.elapsed() < 2600, qPrintable(QString::number(sinceBack.elapsed())));
        QTRY_VERIFY_WITH_TIMEOUT(sim->received.endsWith("SX0"), kWaitMs);
        QCOMPARE(sim->count("CP"), 2);
        QCOMPARE(sim->count("CO"), 2);
        QCOMPARE(points.x.size(), 16);
    }
};

QTEST_GUILESS_MAIN(TestDeviceLink)
#include "tst_DeviceLink.moc"
