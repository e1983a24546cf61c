// The reply parser and the commands, driven state by state. Replies are fed straight into the
// link's receive buffer; commands go out over a pseudo-terminal whose near side the test reads.

#include "core/Settings.h"
#include "device/Device.h"
#include "device/DevicePort.h"
#include "support/SimulatedInstrument.h"
#include "support/TempSettings.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <functional>
#include <memory>

using testsupport::PseudoTerminal;
namespace replies = testsupport::replies;

namespace {

constexpr int kWaitMs = 5000;

QString pointsText(const QSignalSpy &spy)
{
    QStringList parts;
    for (const QList<QVariant> &args : spy)
        parts << QStringLiteral("%1/%2/%3/%4")
                     .arg(args.at(0).toDouble(), 0, 'g', 10)
                     .arg(args.at(1).toDouble(), 0, 'g', 10)
                     .arg(args.at(2).toDouble(), 0, 'g', 10)
                     .arg(args.at(3).toInt());
    return parts.join(QLatin1Char(' '));
}

} // namespace

class TestDeviceProtocol : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<PseudoTerminal> pty;
    std::unique_ptr<Device> device;

    // Everything the device has written since the last call: a marker is sent last and the line
    // is read until it arrives. The marker is the stop command twice, since the device's own
    // commands may begin with one stop (a read that ends there is not the end).
    QByteArray sent()
    {
        static const QByteArray marker("DZ0DZ0");
        device->moveZ(0);
        device->moveZ(0);
        QByteArray all;
        QDeadlineTimer deadline(kWaitMs);
        while (!all.endsWith(marker) && !deadline.hasExpired()) {
            QTest::qWait(1);
            all += pty->readAvailable();
        }
        if (!all.endsWith(marker))
            return QByteArray("<line timed out>") + all;
        all.chop(marker.size());
        return all;
    }

    void feed(const QByteArray &bytes) { device->port->receive(bytes); }

    // The device as a contourograph in its finishing mode, at rest and awaiting its packets.
    void contourographAtRest()
    {
        Settings::modify([](Settings &s) {
            s.device.device_type = CONTOUR;
            s.device.measurement_mode = 0;
        });
        device->deviceKind = CONTOUR;
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 0;
        device->lastStatus = 0;
    }

private slots:
    void init()
    {
        testsupport::resetSettings();
        pty = std::make_unique<PseudoTerminal>();
        QVERIFY(pty->isOpen());
        device = std::make_unique<Device>();
        const QString path = pty->slavePath();
        device->port->setPortLister([path] {
            return QList<SerialPortCandidate> {{path, path, true, true}};
        });
        QSignalSpy opened(device.get(), &Device::deviceOpened);
        QVERIFY(opened.wait(kWaitMs));
        QCOMPARE(sent(), QByteArray("CP"));
    }

    void cleanup()
    {
        device.reset();
        pty.reset();
    }

    void tables()
    {
        const QMap<int, int> lengths = {{0, 20}, {1, 3}, {2, 4}, {3, 4},    {4, 3},  {5, 6},
                                        {6, 4},  {8, 1}, {9, 3}, {10, 120}, {11, 14}};
        for (auto it = lengths.cbegin(); it != lengths.cend(); ++it)
            QCOMPARE(kPacketLength.value(it.key()), it.value());
        // The speed labels end in a Latin "c".
        QCOMPARE(kSpeedNames.size(), size_t(4));
        QCOMPARE(kSpeedNames.at(0), QString::fromUtf8("0.25 \xd0\xbc\xd0\xbc/c"));
        QCOMPARE(kSpeedNames.at(3), QString::fromUtf8("2.00 \xd0\xbc\xd0\xbc/c"));
    }

    // --- framing ---------------------------------------------------------------------------

    void framing_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("stateAfter");
        QTest::addColumn<int>("left");
        QTest::addColumn<QString>("points");
        QTest::addColumn<QByteArray>("commands");

        QByteArray positions;
        for (int i = 0; i < 8; ++i)
            positions += replies::position(static_cast<quint16>(100 * i));
        QTest::newRow("8 position packets and a byte")
            << 1 << positions + "Z" << 1 << 1 << QString() << QByteArray("CT").repeated(8);
        QTest::newRow("position resynchronises on Z")
            << 1 << QByteArray("\x00\x13", 2) + replies::position(16) << 1 << 0 << QString()
            << QByteArray("CT");
        QTest::newRow("preview sample, broken sample, end marker")
            << 2 << QByteArray::fromHex("420A1B422C3D00000001") << 4 << 0 << "2587/0/0/1"
            << QByteArray();
        QTest::newRow("preview waits for the next sample's B")
            << 2 << QByteArray::fromHex("420A1B42") << 2 << 1 << "2587/0/0/1" << QByteArray();
        // A sample whose value ends in zero bytes runs into the end marker: the marker must
        // still be found, or the trace's block is read as preview.
        QTest::newRow("end marker after a sample ending in 00")
            << 2 << QByteArray::fromHex("420A0000000001") << 4 << 0 << QString() << QByteArray();
        QTest::newRow("end marker after a sample of 0")
            << 2 << QByteArray::fromHex("42000000000001") << 4 << 0 << QString() << QByteArray();
        QTest::newRow("end marker after a broken marker")
            << 2 << QByteArray::fromHex("00000000000001") << 4 << 0 << QString() << QByteArray();
        QTest::newRow("steps header")
            << 3 << QByteArray::fromHex("5354E803") << 2 << 0 << QString() << QByteArray();
        QTest::newRow("steps header after junk")
            << 3 << QByteArray::fromHex("005354E803") << 2 << 0 << QString() << QByteArray();
        QTest::newRow("steps header behind an S")
            << 3 << QByteArray::fromHex("535354E803") << 2 << 0 << QString() << QByteArray();
        QTest::newRow("steps header behind a position packet ending in S")
            << 3 << QByteArray::fromHex("5A01535354E803") << 2 << 0 << QString() << QByteArray();
        QTest::newRow("block length")
            << 4 << QByteArray::fromHex("002F48") << 5 << 0 << QString() << QByteArray();
        QTest::newRow("sample scale")
            << 5 << QByteArray::fromHex("7F7F7FE80300") << 6 << 0 << QString() << QByteArray();
        QTest::newRow("parameter marker")
            << 9 << QByteArray("AAA") << 10 << 0 << QString() << QByteArray();
        QTest::newRow("parameter marker missed")
            << 9 << QByteArray("AAB") << 9 << 0 << QString() << QByteArray();
        QTest::newRow("identification of a profilometer")
            << 0 << replies::identification("xOKx") << 1 << 0 << QString()
            << QByteArray("CMCqPF2PL1PS0");
        QTest::newRow("identification naming both kinds is a profilometer's")
            << 0 << replies::identification("OK Vexa_526_R1") << 1 << 0 << QString()
            << QByteArray("CMCqPF2PL1PS0");
        QTest::newRow("identification of a contourograph")
            << 0 << replies::identification("Vexa_526_R1") << 9 << 0 << QString()
            << QByteArray("PR0COCMSX0");
        // An unknown reply is asked again a moment later (identificationAsksAgainAtABoundedRate).
        QTest::newRow("unknown identification")
            << 0 << replies::identification("hello") << 0 << 0 << QString() << QByteArray();
        QTest::newRow("identification is case-sensitive")
            << 0 << replies::identification("ok") << 0 << 0 << QString() << QByteArray();
    }

    void framing()
    {
        QFETCH(int, state);
        QFETCH(QByteArray, input);
        QFETCH(int, stateAfter);
        QFETCH(int, left);
        QFETCH(QString, points);
        QFETCH(QByteArray, commands);
        device->replyState = state;
        device->steps = 1;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        feed(input);
        QCOMPARE(device->replyState, stateAfter);
        QCOMPARE(device->port->available(), left);
        QCOMPARE(pointsText(data), points);
        QCOMPARE(sent(), commands);
    }

    // A contourograph that streams its packets before the program has asked: the reply to "CP"
    // lies anywhere among them, also across the 20-byte identification windows.
    void identificationFoundAmongStreamedPackets_data()
    {
        QTest::addColumn<int>("before");
        QTest::addColumn<int>("readSize");
        // Every alignment of the reply to the windows, behind at least one window of packets.
        for (int before = 20; before < 40; ++before)
            QTest::addRow("reply after %d bytes", before) << before << 7;
        QTest::newRow("byte by byte") << 33 << 1;
        QTest::newRow("in one read") << 37 << 4096;
    }

    void identificationFoundAmongStreamedPackets()
    {
        QFETCH(int, before);
        QFETCH(int, readSize);
        QByteArray packets;
        for (int i = 0; i < 3; ++i)
            packets += replies::contourPacket(200 + i, 500, 1000, 0, 0);
        const QByteArray stream = packets.right(before)
            + replies::identification(Device::kContourographIdentification) + packets;
        for (int at = 0; at < stream.size(); at += readSize)
            feed(stream.mid(at, readSize));
        QCOMPARE(device->deviceKind, CONTOUR);
        QCOMPARE(device->replyState, int(Device::PARAMS_MARKER));
        // No identification request for the windows of packets before the reply.
        QCOMPARE(sent(), QByteArray("PR0COCMSX0"));
    }

    void identificationAsksAgainAtABoundedRate()
    {
        // A hundred replies without a known text arrive at once: they are answered with one
        // "CP", a moment later, not with a hundred.
        QElapsedTimer clock;
        clock.start();
        feed(replies::identification("hello").repeated(100));
        QByteArray line;
        QVERIFY(QTest::qWaitFor(
            [&] {
                line += pty->readAvailable();
                return line.contains("CP");
            },
            kWaitMs));
        QVERIFY2(clock.elapsed() >= Device::kIdentificationRetryMs - 20,
                 qPrintable(QString::number(clock.elapsed())));
        QTest::qWait(2 * Device::kIdentificationRetryMs);
        line += pty->readAvailable();
        QCOMPARE(line, QByteArray("CP"));
        QCOMPARE(device->replyState, int(Device::IDENTIFICATION));

        // The reply to it, behind a stray byte, has its text cut by the windows: it is found.
        feed("#" + QByteArray("T46 OK").rightJustified(20, ' ') + QByteArray(19, '#'));
        QCOMPARE(device->deviceKind, PROFILE);
        QCOMPARE(sent(), QByteArray("CMCqPF2PL1PS0"));
        // Nothing more is asked once the instrument is known.
        QTest::qWait(Device::kIdentificationRetryMs + 50);
        QVERIFY(!pty->readAvailable().contains("CP"));
    }

    void positionPacketMovesTheBar()
    {
        device->replyState = Device::POSITION;
        QSignalSpy bar(device.get(), &Device::setBarValue);
        feed(replies::position(0x1234));
        QCOMPARE(bar.count(), 1);
        QCOMPARE(bar.first().first().toInt(), 65535 - 0x1234);
        QCOMPARE(device->consoleHeight, 0x1234);
    }

    void previewEndMarkerResets()
    {
        device->replyState = Device::PREVIEW;
        QSignalSpy reset(device.get(), &Device::dataReset);
        feed(QByteArray::fromHex("00000001"));
        QCOMPARE(reset.count(), 1);
    }

    void previewXUsesSteps()
    {
        device->replyState = Device::STEPS_HEADER;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        feed("ST" + replies::u16le(4) + QByteArray::fromHex("420001420002420003"));
        // x = progress * 500 / 12.5 / steps * 1000
        QCOMPARE(pointsText(data), QStringLiteral("1/0/0/1 2/0/10000/1"));
    }

    void zeroStepCountKeepsXFinite()
    {
        device->replyState = Device::STEPS_HEADER;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        feed("ST" + replies::u16le(0) + QByteArray::fromHex("420001420002420003"));
        QCOMPARE(data.count(), 2);
        for (const QList<QVariant> &args : data)
            QVERIFY(qIsFinite(args.at(2).toDouble()));
    }

    // --- the sample block ------------------------------------------------------------------

    void blockHeaderSetsBlockLength_data()
    {
        QTest::addColumn<int>("blockLength");
        QTest::addColumn<int>("packetLength");
        QTest::newRow("8000") << 8000 << 974;
        QTest::newRow("4112, one sample") << 4112 << 2;
        QTest::newRow("4104, none") << 4104 << 0;
        QTest::newRow("0") << 0 << -1026;
    }

    void blockHeaderSetsBlockLength()
    {
        QFETCH(int, blockLength);
        QFETCH(int, packetLength);
        device->replyState = Device::BLOCK_HEADER;
        device->blockLength = blockLength;
        device->progress = 7;
        feed(replies::u16le(250) + QByteArray(2, '\0'));
        QCOMPARE(device->steps, 250);
        QCOMPARE(kPacketLength.value(7), packetLength);
        QCOMPARE(device->progress, 0);
        // A block without samples ends at once.
        QCOMPARE(device->replyState, packetLength > 0 ? 7 : 1);
    }

    // A block of 487 samples arrives whole or in pieces of every awkward size: the same samples
    // come out, the lead is skipped once, and the block ends exactly once.
    void sampleBlockSplitAcrossReads_data()
    {
        QTest::addColumn<int>("chunk");
        QTest::addColumn<bool>("leadAlone");
        QTest::newRow("whole") << 0 << false;
        QTest::newRow("1 byte") << 1 << false;
        QTest::newRow("3 bytes") << 3 << false;
        QTest::newRow("lead alone, then 5 bytes") << 5 << true;
        QTest::newRow("half") << 488 << false;
    }

    void sampleBlockSplitAcrossReads()
    {
        QFETCH(int, chunk);
        QFETCH(bool, leadAlone);
        device->traceStarted = true;
        device->replyState = Device::BLOCK_LENGTH;
        const QByteArray headers = replies::u24be(8000) + QByteArray(3, 'x') + replies::u24le(2000)
            + replies::u16le(487) + QByteArray(2, '\0');
        QByteArray rest("\xAA\xBB");
        for (int i = 0; i < 487; ++i)
            rest += replies::u16be(static_cast<quint16>(i * 3));
        rest += replies::position(5);
        QSignalSpy data(device.get(), &Device::dataRecieved);
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        if (chunk == 0) {
            feed(headers + rest);
        } else {
            feed(headers);
            int from = 0;
            if (leadAlone) {
                feed(rest.left(2));
                from = 2;
            }
            for (int i = from; i < rest.size(); i += chunk)
                feed(rest.mid(i, chunk));
        }
        QCOMPARE(data.count(), 487);
        for (int i = 0; i < 487; ++i) {
            QCOMPARE(data[i].at(0).toDouble(), i * 3 * 2000 * 1e-8);
            QCOMPARE(data[i].at(2).toDouble(), i / 487.0 * 1000);
            QCOMPARE(data[i].at(3).toInt(), 100);
        }
        QCOMPARE(stopped.count(), 1);
        QVERIFY(!device->traceStarted);
        // The position packet after the block is read in state 1.
        QCOMPARE(device->replyState, int(Device::POSITION));
        QCOMPARE(device->consoleHeight, 5);
    }

    // A receiver of the points may run a nested event loop in which more of the block arrives
    // and is parsed (moving the receive buffer under the outer parse): the samples still come
    // out once each and in order, and the block ends once.
    void sampleBlockFedFromInsideAReceiver()
    {
        device->traceStarted = true;
        device->replyState = Device::BLOCK_LENGTH;
        QByteArray rest("\xAA\xBB");
        for (int i = 0; i < 300; ++i)
            rest += replies::u16be(static_cast<quint16>(i * 5));
        rest += replies::position(5);
        QSignalSpy data(device.get(), &Device::dataRecieved);
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        int fed = 7;
        connect(device.get(), &Device::dataRecieved, this, [&] {
            if (fed >= rest.size())
                return;
            const int chunk = std::min(37, static_cast<int>(rest.size()) - fed);
            fed += chunk;
            feed(rest.mid(fed - chunk, chunk));
        });
        // 6504 / 8 * 2 - 1026 = 600 bytes of samples.
        feed(replies::u24be(6504) + QByteArray(3, 'x') + replies::u24le(2000) + replies::u16le(300)
             + QByteArray(2, '\0') + rest.left(fed));
        QCOMPARE(fed, static_cast<int>(rest.size()));
        QCOMPARE(data.count(), 300);
        for (int i = 0; i < 300; ++i) {
            QCOMPARE(data[i].at(0).toDouble(), i * 5 * 2000 * 1e-8);
            QCOMPARE(data[i].at(2).toDouble(), i / 300.0 * 1000);
        }
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(device->replyState, int(Device::POSITION));
        QCOMPARE(device->consoleHeight, 5);
        QCOMPARE(device->port->available(), 0);
    }

    void shortBlockEndsWithoutSpinning()
    {
        device->traceStarted = true;
        device->replyState = Device::BLOCK_HEADER;
        device->blockLength = 100;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        QSignalSpy stopped(device.get(), &Device::pushButtonStopTrace);
        feed(replies::u16le(1) + QByteArray(2, '\0'));
        QCOMPARE(stopped.count(), 1);
        QCOMPARE(data.count(), 0);
        QCOMPARE(device->replyState, int(Device::POSITION));
        QVERIFY(!device->traceStarted);
    }

    void stopAtBlockEndSendsWhileTraceRuns()
    {
        device->traceStarted = true;
        connect(device.get(), &Device::pushButtonStopTrace, device.get(), &Device::stopTrace);
        device->replyState = Device::BLOCK_HEADER;
        device->blockLength = 4112;
        feed(replies::u16le(1) + QByteArray(2, '\0') + QByteArray(2, '\0') + replies::u16be(9));
        QVERIFY(!device->traceStarted);
        QCOMPARE(sent(), QByteArray("CCCV"));
    }

    // --- calibration reply -----------------------------------------------------------------

    void calibrationReplyFindsStageSix_data()
    {
        QTest::addColumn<QList<QByteArray>>("reads");
        QTest::addColumn<bool>("done");
        QTest::newRow("one read") << QList<QByteArray> {"Stage 5\r\nStage 6\r\n"} << true;
        QTest::newRow("split in the word")
            << QList<QByteArray> {"Stage 5\r\nSta", "ge 6\r\n"} << true;
        QTest::newRow("split before the digit") << QList<QByteArray> {"Stage ", "6"} << true;
        QTest::newRow("one byte a read")
            << QList<QByteArray> {"S", "t", "a", "g", "e", " ", "6"} << true;
        QTest::newRow("other stages") << QList<QByteArray> {"Stage 5", "Stage 7"} << false;
        QTest::newRow("lower case") << QList<QByteArray> {"stage 6"} << false;
    }

    void calibrationReplyFindsStageSix()
    {
        QFETCH(QList<QByteArray>, reads);
        QFETCH(bool, done);
        Settings::modify([](Settings &s) { s.device.trace_length = 12; });
        device->replyState = Device::CALIBRATION_REPLY;
        for (const QByteArray &read : reads)
            feed(read);
        QCOMPARE(device->replyState, done ? 1 : 8);
        QCOMPARE(device->port->available(), 0);
        QCOMPARE(sent(), done ? QByteArray("PL<") : QByteArray());
    }

    // --- parameters ------------------------------------------------------------------------

    void markerMissesLeadToContourState()
    {
        device->replyState = Device::PARAMS_MARKER;
        device->progress = 55;
        // Each try needs three bytes and drops the first that is not an 'A'.
        feed(QByteArray(202, 'x'));
        QCOMPARE(device->replyState, int(Device::PARAMS_MARKER));
        QCOMPARE(device->markerMisses, 200);
        feed("x");
        QCOMPARE(device->replyState, int(Device::CONTOUR_PACKET));
        QCOMPARE(device->progress, 0);
    }

    void deviceParamsAllOrNothing_data()
    {
        QTest::addColumn<int>("p0");
        QTest::addColumn<int>("p1");
        QTest::addColumn<bool>("taken");
        QTest::newRow("both sane") << 960000 << 1040000 << true;
        QTest::newRow("limits") << 950000 << 1050000 << true;
        QTest::newRow("sane x, wild y") << 960000 << 1200000 << false;
        QTest::newRow("wild x") << 940000 << 1000000 << false;
        QTest::newRow("negative") << -1000000 << 1000000 << false;
    }

    void deviceParamsAllOrNothing()
    {
        QFETCH(int, p0);
        QFETCH(int, p1);
        QFETCH(bool, taken);
        device->replyState = Device::DEVICE_PARAMS;
        feed(replies::deviceParams({p0, p1, -250000, 150, 7}));
        QCOMPARE(device->replyState, int(Device::CONTOUR_PACKET));
        const Settings stored = Settings::readFile(QStringLiteral("settings.ini"));
        const CalibrationSettings &live = Settings::instance()->calibration;
        for (const CalibrationSettings *calibration : {&live, &stored.calibration}) {
            QCOMPARE(calibration->x_axis_compression_ratio, taken ? p0 / 1e6 : 1.0);
            QCOMPARE(calibration->y_axis_compression_ratio, taken ? p1 / 1e6 : 1.0);
            QCOMPARE(calibration->displacement_coefficient, taken ? -0.25 : 0.0);
            QCOMPARE(calibration->rack_prpendicular, taken ? 1.5 : 0.0);
        }
    }

    // --- contour packets -------------------------------------------------------------------

    void contourPointValidity_data()
    {
        QTest::addColumn<int>("probe");
        QTest::addColumn<int>("console");
        QTest::addColumn<int>("x");
        QTest::addColumn<int>("progressBefore");
        QTest::addColumn<bool>("recorded");
        QTest::addColumn<int>("progressAfter");
        QTest::newRow("plain") << 1500 << 300 << 1200 << 1000 << true << 1200;
        QTest::newRow("same x") << 1500 << 300 << 1000 << 1000 << true << 1000;
        QTest::newRow("x behind") << 1500 << 300 << 999 << 1000 << false << 1000;
        QTest::newRow("negative probe") << -7 << 300 << 1200 << 0 << true << 1200;
        QTest::newRow("probe too high") << 2000001 << 300 << 1200 << 0 << false << 0;
        QTest::newRow("probe at limit") << 2000000 << 300 << 1200 << 0 << true << 1200;
        QTest::newRow("console too low") << 1500 << 9 << 1200 << 0 << false << 0;
        QTest::newRow("console at limit") << 1500 << 10 << 1200 << 0 << true << 1200;
        // A corrupt X does not block the rest of the trace.
        QTest::newRow("x too far") << 1500 << 300 << 2500000 << 0 << false << 0;
    }

    void contourPointValidity()
    {
        QFETCH(int, probe);
        QFETCH(int, console);
        QFETCH(int, x);
        QFETCH(int, progressBefore);
        QFETCH(bool, recorded);
        QFETCH(int, progressAfter);
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 2;
        device->lastStatus = 1;
        device->measuring = true;
        device->progress = progressBefore;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        QSignalSpy bar(device.get(), &Device::setBarValue);
        feed(replies::contourPacket(probe, console, static_cast<quint32>(x), 1, 2));
        QCOMPARE(data.count(), recorded ? 1 : 0);
        if (recorded)
            QCOMPARE(pointsText(data), QStringLiteral("%1/%2/%3/8").arg(probe).arg(console).arg(x));
        QCOMPARE(bar.count(), 1);
        QCOMPARE(bar.first().first().toInt(), console);
        QCOMPARE(device->progress, progressAfter);
        QCOMPARE(device->probeHeight, probe);
        QCOMPARE(device->xPosition, x);
    }

    void contourPacketsAfterJunkAndCorruptPoint()
    {
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 2;
        device->lastStatus = 1;
        device->measuring = true;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        feed(replies::contourPacket(1, 100, 10, 1, 2) + QByteArray::fromHex("00ff13")
             + replies::contourPacket(1, 100, 2100000, 1, 2)
             + replies::contourPacket(1, 100, 20, 1, 2)
             + replies::contourPacket(1, 100, 30, 1, 2).left(9));
        QCOMPARE(pointsText(data), QStringLiteral("1/100/10/8 1/100/20/8"));
        QCOMPARE(device->port->available(), 9);
    }

    void contourprofPointsCarryNoProbe()
    {
        device->deviceKind = CONTOURPROF;
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 2;
        device->lastStatus = 1;
        device->measuring = true;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        feed(replies::contourPacket(1234, 100, 10, 1, 2));
        QCOMPARE(pointsText(data), QStringLiteral("0/100/10/8"));
    }

    // A contourograph reports its carriage at rest between traces, the X trembling about its
    // place. A trace's X counts from its first measured packet: the packets at rest before it
    // (also those read after the start command) and an earlier trace take none of its points.
    void traceCountsXFromItsFirstMeasuredPacket_data()
    {
        QTest::addColumn<bool>("startCommand");
        QTest::addColumn<int>("earlierTraceEnd");
        QTest::newRow("start command, packets at rest read after it") << true << 0;
        QTest::newRow("start command after an earlier trace") << true << 1400;
        QTest::newRow("started at the instrument after an earlier trace") << false << 1400;
    }

    void traceCountsXFromItsFirstMeasuredPacket()
    {
        QFETCH(bool, startCommand);
        QFETCH(int, earlierTraceEnd);
        contourographAtRest();
        device->measuring = false;
        QSignalSpy data(device.get(), &Device::dataRecieved);
        if (earlierTraceEnd > 0) {
            feed(replies::contourPacket(300, 900, static_cast<quint32>(earlierTraceEnd), 1, 2)
                 + replies::contourPacket(300, 900, static_cast<quint32>(earlierTraceEnd), 0, 1));
            QCOMPARE(data.count(), 1);
            data.clear();
        }
        QByteArray rest;
        for (int i = 0; i < 20; ++i)
            rest += replies::contourPacket(200, 500, static_cast<quint32>(1000 + i), 0, 0);
        feed(rest);
        if (startCommand)
            device->startTrace(true);
        feed(rest);
        QStringList expected;
        for (int i = 0; i < 5; ++i) {
            feed(replies::contourPacket(500 + i, 1000 + i, static_cast<quint32>(1000 + 10 * i), 1,
                                        2));
            expected << QStringLiteral("%1/%2/%3/8").arg(500 + i).arg(1000 + i).arg(1000 + 10 * i);
        }
        QCOMPARE(pointsText(data), expected.join(QLatin1Char(' ')));
        // Within the trace X still never runs back.
        feed(replies::contourPacket(600, 1100, 1005, 1, 2));
        QCOMPARE(data.count(), 5);
        QCOMPARE(device->progress, 1040);
    }

    void nestedEventLoopInReceiverKeepsParsing()
    {
        // The progress window opens with a nested event loop from inside the packet that starts
        // the calibration; the stages that arrive meanwhile are parsed inside that loop, and
        // nothing deadlocks.
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 0;
        device->lastStatus = 0;
        QList<int> stages;
        connect(device.get(), &Device::setStatusProgressBar, this,
                [&](int percent, const QString &) { stages << percent; });
        connect(device.get(), &Device::openLoader, this, [&] {
            QEventLoop loop;
            connect(device.get(), &Device::setStatusProgressBar, &loop, [&](int percent) {
                if (percent == 100)
                    loop.quit();
            });
            QTimer::singleShot(0, &loop, [&] {
                for (const int stage : {2, 5, 109})
                    feed(replies::contourPacket(0, 0, 0, static_cast<quint8>(stage), 10));
            });
            QTimer::singleShot(kWaitMs, &loop, &QEventLoop::quit);
            loop.exec();
        });
        feed(replies::contourPacket(0, 0, 0, 1, 10));
        QCOMPARE(stages, (QList<int> {1, 4, 100, 0}));
        QCOMPARE(sent(), QByteArray("CA"));
    }

    // --- status and alarm bytes ------------------------------------------------------------

    void alarmReactions_data()
    {
        QTest::addColumn<int>("alarm");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("signalNames");
        QTest::addColumn<bool>("measuring");
        QTest::addColumn<QByteArray>("commands");
        // The reactions after which the panel is no longer recording end the device's trace
        // as well; a stop alarm ends it through the panel's stop.
        QTest::addColumn<bool>("endsTrace");
        QTest::newRow("0 normal") << 0 << 0 << "normalStatus" << false << QByteArray() << true;
        QTest::newRow("1 trace end")
            << 1 << 0 << "pushButtonStopTrace" << false << QByteArray("CA") << false;
        QTest::newRow("101 trace end")
            << 101 << 0 << "pushButtonStopTrace" << false << QByteArray("CA") << false;
        QTest::newRow("2 start") << 2 << 0 << "pushButtonStartTrace" << true << QByteArray()
                                 << false;
        QTest::newRow("102 start")
            << 102 << 0 << "pushButtonStartTrace" << true << QByteArray() << false;
        QTest::newRow("3 calibrate")
            << 3 << 0 << "needCalibration" << false << QByteArray() << true;
        QTest::newRow("103 calibrate")
            << 103 << 0 << "needCalibration" << false << QByteArray() << true;
        QTest::newRow("4 emergency")
            << 4 << 0 << "crashDevice" << false << QByteArray("CA") << true;
        for (const int alarm : {5, 7, 9, 105, 107, 108, 109})
            QTest::addRow("%d busy", alarm)
                << alarm << 0 << "prepareTrace" << false << QByteArray() << false;
        for (const int alarm : {6, 100, 106})
            QTest::addRow("%d busy measuring", alarm)
                << alarm << 0 << "prepareTrace" << true << QByteArray() << false;
        QTest::newRow("8 centre search 1")
            << 8 << 1 << "openLoader setStatusProgressBar prepareTrace" << false << QByteArray()
            << false;
        QTest::newRow("8 centre search 95")
            << 8 << 95 << "setStatusProgressBar prepareTrace" << false << QByteArray() << false;
        QTest::newRow("10 calibration 1")
            << 10 << 1 << "openLoader setStatusProgressBar prepareTrace" << false << QByteArray()
            << false;
        QTest::newRow("10 calibration 109") << 10 << 109 << "setStatusProgressBar prepareTrace"
                                            << false << QByteArray("CA") << false;
        QTest::newRow("110 with 109")
            << 110 << 109 << "prepareTrace" << false << QByteArray("CACA") << true;
        QTest::newRow("110 with 3") << 110 << 3 << "prepareTrace" << false << QByteArray() << false;
        QTest::newRow("unknown 55") << 55 << 0 << "" << false << QByteArray() << false;
    }

    void alarmReactions()
    {
        QFETCH(int, alarm);
        QFETCH(int, status);
        QFETCH(QString, signalNames);
        QFETCH(bool, measuring);
        QFETCH(QByteArray, commands);
        QFETCH(bool, endsTrace);
        device->replyState = Device::CONTOUR_PACKET;
        device->traceStarted = true;
        device->lastAlarm = 1000000;
        device->lastStatus = 1000000;
        device->measuring = !measuring;
        QStringList emitted;
        const auto record = [&](const char *name) {
            return [&emitted, name] {
                emitted << name;
            };
        };
        connect(device.get(), &Device::normalStatus, this, record("normalStatus"));
        connect(device.get(), &Device::pushButtonStopTrace, this, record("pushButtonStopTrace"));
        connect(device.get(), &Device::pushButtonStartTrace, this, record("pushButtonStartTrace"));
        connect(device.get(), &Device::needCalibration, this, record("needCalibration"));
        connect(device.get(), &Device::crashDevice, this, record("crashDevice"));
        connect(device.get(), &Device::prepareTrace, this, record("prepareTrace"));
        connect(device.get(), &Device::openLoader, this, record("openLoader"));
        connect(device.get(), &Device::setStatusProgressBar, this, record("setStatusProgressBar"));
        feed(replies::contourPacket(0, 0, 0, static_cast<quint8>(status),
                                    static_cast<quint8>(alarm)));
        QCOMPARE(emitted.join(QLatin1Char(' ')), signalNames);
        QCOMPARE(device->measuring, measuring);
        QCOMPARE(device->lastAlarm, alarm);
        QCOMPARE(device->lastStatus, status);
        QCOMPARE(bool(device->traceStarted), !endsTrace);
        QCOMPARE(sent(), commands);
    }

    void alarmReactsToChangesOnly()
    {
        device->replyState = Device::CONTOUR_PACKET;
        device->lastAlarm = 1000000;
        QSignalSpy start(device.get(), &Device::pushButtonStartTrace);
        feed(replies::contourPacket(0, 0, 0, 10, 2) + replies::contourPacket(0, 0, 0, 11, 2)
             + replies::contourPacket(0, 0, 0, 12, 2) + replies::contourPacket(0, 0, 0, 12, 2));
        QCOMPARE(start.count(), 3);
        QVERIFY(device->measuring);
        // Under alarm 1 every status change sends "CA" again.
        feed(replies::contourPacket(0, 0, 0, 1, 1) + replies::contourPacket(0, 0, 0, 1, 1)
             + replies::contourPacket(0, 0, 0, 2, 1));
        QCOMPARE(sent(), QByteArray("CACA"));
    }

    // A status report after which the panel no longer records (the controller back in normal
    // status, a calibration request, an emergency, the carriage stop), arriving in the middle of
    // a trace, ends the trace with the points recorded so far; the next trace starts afresh and
    // every one of its points is recorded.
    void statusReportMidTraceEndsTheTrace_data()
    {
        QTest::addColumn<int>("alarm");
        QTest::addColumn<int>("status");
        QTest::newRow("0 normal") << 0 << 0;
        QTest::newRow("0 normal, other status") << 0 << 7;
        QTest::newRow("3 calibrate") << 3 << 0;
        QTest::newRow("103 calibrate") << 103 << 0;
        QTest::newRow("4 emergency") << 4 << 0;
        QTest::newRow("110 carriage stop") << 110 << 109;
    }

    void statusReportMidTraceEndsTheTrace()
    {
        QFETCH(int, alarm);
        QFETCH(int, status);
        contourographAtRest();
        QSignalSpy points(device.get(), &Device::dataRecieved);
        const auto tracePackets = [](int count, quint32 firstX) {
            QByteArray bytes;
            for (int i = 0; i < count; ++i)
                bytes += replies::contourPacket(500, 1000, firstX + static_cast<quint32>(i) * 10, 1,
                                                2);
            return bytes;
        };

        device->startTrace();
        QCOMPARE(sent(), QByteArray("CS"));
        feed(tracePackets(5, 1000));
        QCOMPARE(points.count(), 5);
        feed(replies::contourPacket(500, 1000, 1050, static_cast<quint8>(status),
                                    static_cast<quint8>(alarm)));
        QVERIFY(!device->traceStarted);
        QVERIFY(!device->measuring);
        QCOMPARE(points.count(), 5);
        sent();

        device->startTrace();
        QCOMPARE(sent(), QByteArray("CS"));
        QVERIFY(device->traceStarted);
        // The new trace begins where the carriage stands, below where the last one ended.
        feed(tracePackets(7, 600));
        QCOMPARE(points.count(), 12);
        QCOMPARE(points.at(5).at(2).toDouble(), 600.0);
        QCOMPARE(points.last().at(2).toDouble(), 660.0);
        QVERIFY(device->traceStarted);
    }

    void calibrationStages_data()
    {
        QTest::addColumn<int>("stage");
        QTest::addColumn<int>("percent");
        QTest::addColumn<QString>("text");
        QTest::newRow("1") << 1 << 0 << "Отвод контурографа от поверхности";
        QTest::newRow("2") << 2 << 1 << "Поиск максимума показания датчика";
        QTest::newRow("3") << 3 << 2 << "Поиск минимума показания датчика";
        QTest::newRow("4") << 4 << 3 << "Настройка силы прижима иглы";
        QTest::newRow("5") << 5 << 4 << "Подвод контурографа к поверхности до касания";
        QTest::newRow("6") << 6 << 5 << "Калибровка датчика";
        QTest::newRow("107") << 107 << 98 << "Отвод контурографа от поверхности";
        QTest::newRow("108") << 108 << 99 << "Опускание контурографа до центра диапазона датчика";
        QTest::newRow("109") << 109 << 100 << "Калибровка завершена";
    }

    void calibrationStages()
    {
        QFETCH(int, stage);
        QFETCH(int, percent);
        QFETCH(QString, text);
        QSignalSpy loader(device.get(), &Device::openLoader);
        QSignalSpy progress(device.get(), &Device::setStatusProgressBar);
        device->reportCalibrationStage(stage);
        QCOMPARE(loader.count(), stage == 1 ? 1 : 0);
        if (stage == 1)
            QCOMPARE(loader.first().first().toString(), QStringLiteral("Идёт калибровка"));
        QCOMPARE(progress.count(), 1);
        QCOMPARE(progress.first().at(0).toInt(), percent);
        QCOMPARE(progress.first().at(1).toString(), text);
    }

    void centreSearchStages()
    {
        QSignalSpy loader(device.get(), &Device::openLoader);
        QSignalSpy progress(device.get(), &Device::setStatusProgressBar);
        device->reportCentreSearchStage(1);
        device->reportCentreSearchStage(94);
        device->reportCentreSearchStage(95);
        QCOMPARE(loader.count(), 1);
        QCOMPARE(loader.first().first().toString(), QStringLiteral("Идёт поиск минимума"));
        QCOMPARE(progress.count(), 3);
        QCOMPARE(progress[0].at(1).toString(), QStringLiteral("Поиск центра окружности"));
        QCOMPARE(progress[1].at(0).toInt(), 94);
        QCOMPARE(progress[2].at(0).toInt(), 95);
        QCOMPARE(progress[2].at(1).toString(), QStringLiteral("Перемещение на центр"));
    }

    // --- demonstration cycle ---------------------------------------------------------------

    void demoCycleRepeatsTheFirstTrace()
    {
        Settings::modify([](Settings &s) { s.service.demo_regime = true; });
        device->replyState = Device::IDENTIFICATION;
        feed(replies::identification("Vexa_526_R1") + "AAA" + replies::deviceParams({}));
        QCOMPARE(device->replyState, int(Device::CONTOUR_PACKET));
        QCOMPARE(sent(), QByteArray("PR0COCMSX0"));
        QSignalSpy start(device.get(), &Device::pushButtonStartTrace);
        QSignalSpy stop(device.get(), &Device::pushButtonStopTrace);
        QSignalSpy deleted(device.get(), &Device::deleteAllTrace);
        QSignalSpy data(device.get(), &Device::dataRecieved);

        // First trace (its extremes are taken from the packet after the start on): X 150..300,
        // probe between 1000 and 3000. A corrupt packet (probe far out of range) must not shape
        // the cycle.
        feed(replies::contourPacket(1000, 50, 100, 0, 2));
        QCOMPARE(start.count(), 1);
        feed(replies::contourPacket(1000, 50, 150, 0, 2)
             + replies::contourPacket(3000, 50, 200, 0, 2)
             + replies::contourPacket(2147483647, 50, 250, 0, 2)
             + replies::contourPacket(2000, 50, 300, 0, 2));
        QCOMPARE(device->demoExtremes[0], (QList<int> {150, 50, 1000}));
        QCOMPARE(device->demoExtremes[1], (QList<int> {300, 50, 2000}));
        QCOMPARE(device->demoExtremes[2][0], 3000);
        QCOMPARE(device->demoExtremes[3][0], 1000);
        QCOMPARE(data.count(), 4);
        // The controller ends the trace: return while the probe is below 3000 + 200.
        feed(replies::contourPacket(2000, 50, 300, 0, 1));
        QCOMPARE(stop.count(), 1);
        QCOMPARE(device->demoState, 1);
        feed(replies::contourPacket(3100, 50, 300, 0, 1));
        QCOMPARE(sent(), QByteArray("CADZ+"));
        feed(replies::contourPacket(3200, 50, 300, 0, 1));
        feed(replies::contourPacket(3200, 50, 150, 0, 1));
        QCOMPARE(deleted.count(), 1);
        QCOMPARE(device->demoState, 2);
        QCOMPARE(sent(), QByteArray("DZ0DX+DZ0DX0"));
        // Restart and repeat up to the largest X of the first trace.
        feed(replies::contourPacket(3200, 50, 100, 0, 1));
        QCOMPARE(start.count(), 2);
        QCOMPARE(device->demoState, 3);
        feed(replies::contourPacket(1000, 50, 200, 0, 1));
        QCOMPARE(device->demoState, 3);
        feed(replies::contourPacket(1000, 50, 300, 0, 1));
        QCOMPARE(device->demoState, 1);
        QCOMPARE(stop.count(), 2);
        QCOMPARE(sent(), QByteArray("CA"));
    }

    void demoReturnHeightDoesNotOverflow()
    {
        Settings::modify([](Settings &s) { s.service.demo_regime = true; });
        device->replyState = Device::CONTOUR_PACKET;
        device->demoState = 1;
        device->lastAlarm = 1;
        device->lastStatus = 0;
        device->demoExtremes = {{0, 0, 0}, {10, 0, 0}, {2000000}, {-2147483647}};
        // H - L overflows 32 bits; the probe at 1,000,000 is still far below H + 10 %.
        feed(replies::contourPacket(1000000, 50, 5, 0, 1));
        QCOMPARE(sent(), QByteArray("DZ+"));
    }

    // --- commands --------------------------------------------------------------------------

    void commands_data()
    {
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("moveX +1") << QByteArray("DX-");
        QTest::newRow("moveX -1") << QByteArray("DX+");
        QTest::newRow("moveX 0") << QByteArray("DX0");
        QTest::newRow("moveY +1") << QByteArray("DY+");
        QTest::newRow("moveY -1") << QByteArray("DY-");
        QTest::newRow("moveY 0") << QByteArray("DY0");
        QTest::newRow("moveZ +1") << QByteArray("DZ+");
        QTest::newRow("moveZ -1") << QByteArray("DZ-");
        QTest::newRow("autoMinMaxCalib") << QByteArray("CV");
        QTest::newRow("calibration Ra 1.2") << QByteArray("Ka01200");
        QTest::newRow("calibration Ra 0.5") << QByteArray("Ka00500");
        QTest::newRow("calibration Ra 1.001 rounds") << QByteArray("Ka01001");
        QTest::newRow("calibration Ra 0.0126 rounds") << QByteArray("Ka00013");
        QTest::newRow("calibration Ra 123.4") << QByteArray("Ka123400");
        QTest::newRow("calibration contourograph") << QByteArray("CK");
        QTest::newRow("setSpeed profilometer") << QByteArray("PS3");
        QTest::newRow("setSpeed contourograph") << QByteArray("SX2");
        QTest::newRow("setFilter 0") << QByteArray("PF1");
        QTest::newRow("setFilter 4") << QByteArray("PF5");
        QTest::newRow("setTraceLength 2") << QByteArray("PL2");
        QTest::newRow("setTraceLength 12") << QByteArray("PL<");
        QTest::newRow("setTraceLength 40") << QByteArray("PLX");
        QTest::newRow("setDeviceType 1") << QByteArray("PR1");
        QTest::newRow("setDeviceType 0") << QByteArray("PR0");
        QTest::newRow("cancelOperation") << QByteArray("CCCA");
        QTest::newRow("sendRawText") << QByteArray("Cq\xd0\xaf");
        QTest::newRow("sendRawText empty, then a command") << QByteArray("CM");
        QTest::newRow("mm per rotation 1") << QByteArray("R0100");
        QTest::newRow("mm per rotation 1.5") << QByteArray("R0150");
        QTest::newRow("mm per rotation 0.25") << QByteArray("R0025");
        QTest::newRow("mm per rotation 12.5") << QByteArray("R1250");
        QTest::newRow("mm per rotation 12.25") << QByteArray("R1225");
        QTest::newRow("mm per rotation 1.001 rounds") << QByteArray("R0100");
        QTest::newRow("mm per rotation 0.999 rounds") << QByteArray("R0100");
        QTest::newRow("pressing unchanged") << QByteArray();
        QTest::newRow("pressing up 3 after down 3") << QByteArray("Pd3Pu3");
        QTest::newRow("start contour mode 0") << QByteArray("CS");
        QTest::newRow("start contour mode 1") << QByteArray("Cs");
        QTest::newRow("start contour mode 3") << QByteArray("CL");
        QTest::newRow("start contour mode 4") << QByteArray();
        QTest::newRow("start profilometer") << QByteArray("CS");
        QTest::newRow("stop without trace") << QByteArray();
        QTest::newRow("stop contourograph") << QByteArray("CCCA");
        QTest::newRow("stop profilometer") << QByteArray("CCCV");
        QTest::newRow("several in one pass keep their order") << QByteArray("CMCqCVPF3");
    }

    void commands()
    {
        QFETCH(QByteArray, expected);
        const QString row = QString::fromLatin1(QTest::currentDataTag());
        const auto settings = [](const std::function<void(Settings &)> &change) {
            Settings::modify(change);
        };
        const QMap<QString, std::function<void(Device &)>> actions = {
            {"moveX +1",
             [](Device &d) {
                 d.moveX(1);
             }},
            {"moveX -1",
             [](Device &d) {
                 d.moveX(-1);
             }},
            {"moveX 0",
             [](Device &d) {
                 d.moveX(0);
             }},
            {"moveY +1",
             [](Device &d) {
                 d.moveY(5);
             }},
            {"moveY -1",
             [](Device &d) {
                 d.moveY(-1);
             }},
            {"moveY 0",
             [](Device &d) {
                 d.moveY(0);
             }},
            {"moveZ +1",
             [](Device &d) {
                 d.moveZ(1);
             }},
            {"moveZ -1",
             [](Device &d) {
                 d.moveZ(-1);
             }},
            {"autoMinMaxCalib",
             [](Device &d) {
                 d.autoMinMaxCalib();
             }},
            {"calibration Ra 1.2",
             [&](Device &d) {
                 settings([](Settings &s) { s.calibration.calibration_Ra_value = 1.2; });
                 d.calibration();
             }},
            {"calibration Ra 0.5",
             [&](Device &d) {
                 settings([](Settings &s) { s.calibration.calibration_Ra_value = 0.5; });
                 d.calibration();
             }},
            {"calibration Ra 1.001 rounds",
             [&](Device &d) {
                 settings([](Settings &s) { s.calibration.calibration_Ra_value = 1.001; });
                 d.calibration();
             }},
            {"calibration Ra 0.0126 rounds",
             [&](Device &d) {
                 settings([](Settings &s) { s.calibration.calibration_Ra_value = 0.0126; });
                 d.calibration();
             }},
            {"calibration Ra 123.4",
             [&](Device &d) {
                 settings([](Settings &s) { s.calibration.calibration_Ra_value = 123.4; });
                 d.calibration();
             }},
            {"calibration contourograph",
             [](Device &d) {
                 d.deviceKind = CONTOUR;
                 d.calibration();
             }},
            {"setSpeed profilometer",
             [](Device &d) {
                 d.setSpeed(3);
             }},
            {"setSpeed contourograph",
             [](Device &d) {
                 d.deviceKind = CONTOURPROF;
                 d.setSpeed(2);
             }},
            {"setFilter 0",
             [](Device &d) {
                 d.setFilter(0);
             }},
            {"setFilter 4",
             [](Device &d) {
                 d.setFilter(4);
             }},
            {"setTraceLength 2",
             [](Device &d) {
                 d.setTraceLength(2);
             }},
            {"setTraceLength 12",
             [](Device &d) {
                 d.setTraceLength(12);
             }},
            {"setTraceLength 40",
             [](Device &d) {
                 d.setTraceLength(40);
             }},
            {"setDeviceType 1",
             [](Device &d) {
                 d.setDeviceType(1);
             }},
            {"setDeviceType 0",
             [](Device &d) {
                 d.setDeviceType(0);
             }},
            {"cancelOperation",
             [](Device &d) {
                 d.cancelOperation();
             }},
            {"sendRawText",
             [](Device &d) {
                 d.sendRawText(QStringLiteral("C\nq\nЯ"));
             }},
            {"sendRawText empty, then a command",
             [](Device &d) {
                 d.sendRawText(QStringLiteral("\n"));
                 d.sendRawText(QString());
                 d.sendRawText(QStringLiteral("CM"));
             }},
            {"mm per rotation 1",
             [](Device &d) {
                 d.setMMPerRotation(1);
             }},
            {"mm per rotation 1.5",
             [](Device &d) {
                 d.setMMPerRotation(1.5);
             }},
            {"mm per rotation 0.25",
             [](Device &d) {
                 d.setMMPerRotation(0.25);
             }},
            {"mm per rotation 12.5",
             [](Device &d) {
                 d.setMMPerRotation(12.5);
             }},
            {"mm per rotation 12.25",
             [](Device &d) {
                 d.setMMPerRotation(12.25);
             }},
            {"mm per rotation 1.001 rounds",
             [](Device &d) {
                 d.setMMPerRotation(1.001);
             }},
            {"mm per rotation 0.999 rounds",
             [](Device &d) {
                 d.setMMPerRotation(0.999);
             }},
            {"pressing unchanged",
             [](Device &d) {
                 d.changePresingPower(MovementSettings::E_PRESSING_DOWN, 1);
             }},
            {"pressing up 3 after down 3",
             [](Device &d) {
                 d.changePresingPower(MovementSettings::E_PRESSING_DOWN, 3);
                 d.changePresingPower(MovementSettings::E_PRESSING_DOWN, 3);
                 d.changePresingPower(MovementSettings::E_PRESSING_UP, 3);
             }},
            {"start contour mode 0",
             [&](Device &d) {
                 settings([](Settings &s) { s.device.device_type = 0; });
                 d.startTrace();
             }},
            {"start contour mode 1",
             [&](Device &d) {
                 settings([](Settings &s) {
                     s.device.device_type = 1;
                     s.device.measurement_mode = 1;
                 });
                 d.startTrace();
             }},
            {"start contour mode 3",
             [&](Device &d) {
                 settings([](Settings &s) {
                     s.device.device_type = 0;
                     s.device.measurement_mode = 3;
                 });
                 d.startTrace();
             }},
            {"start contour mode 4",
             [&](Device &d) {
                 settings([](Settings &s) {
                     s.device.device_type = 0;
                     s.device.measurement_mode = 4;
                 });
                 d.startTrace();
             }},
            {"start profilometer",
             [](Device &d) {
                 d.startTrace();
             }},
            {"stop without trace",
             [](Device &d) {
                 d.stopTrace();
             }},
            {"stop contourograph",
             [&](Device &d) {
                 settings([](Settings &s) { s.device.device_type = 0; });
                 d.traceStarted = true;
                 d.stopTrace();
             }},
            {"stop profilometer",
             [](Device &d) {
                 d.traceStarted = true;
                 d.stopTrace();
             }},
            {"several in one pass keep their order",
             [](Device &d) {
                 d.port->write(std::string("CM"));
                 d.port->write(std::string("Cq"));
                 d.port->write(std::string("CV"));
                 d.setFilter(2);
             }},
        };
        QVERIFY2(actions.contains(row), qPrintable(row));
        device->deviceKind = PROFILE;
        actions.value(row)(*device);
        QCOMPARE(sent(), expected);
    }

    void startTraceState()
    {
        Settings::modify([](Settings &s) {
            s.device.device_type = 0;
            s.device.measurement_mode = 4;
        });
        device->progress = 99;
        device->startTrace();
        QVERIFY(device->traceStarted);
        QCOMPARE(device->progress, 0);
        QCOMPARE(device->replyState, int(Device::IDENTIFICATION));
        Settings::modify([](Settings &s) { s.device.device_type = 2; });
        device->startTrace();
        QCOMPARE(device->replyState, int(Device::STEPS_HEADER));
        device->startTrace(false);
        QVERIFY(!device->traceStarted);
    }

    void pressingIsSaved()
    {
        device->changePresingPower(MovementSettings::E_PRESSING_UP, 4);
        const Settings stored = Settings::readFile(QStringLiteral("settings.ini"));
        QCOMPARE(stored.device.power_pressing, 4);
        QCOMPARE(stored.movement.needle_pressing, MovementSettings::E_PRESSING_UP);
    }

    void uploadDeviceParams_data()
    {
        QTest::addColumn<double>("x");
        QTest::addColumn<double>("rack");
        QTest::addColumn<QByteArray>("head");
        QTest::newRow("unit ratios")
            << 1.0 << 0.0 << QByteArray::fromHex("4f40420f0040420f000000000000000000");
        // 1.000001 and 0.29 are not exact in binary: rounding keeps the last digit.
        QTest::newRow("rounded") << 1.000001 << 0.29
                                 << QByteArray::fromHex("4f41420f0040420f00000000001d000000");
        QTest::newRow("huge ratio is clamped")
            << 1e12 << -1e12 << QByteArray::fromHex("4fffffff7f40420f000000000000000080");
    }

    void uploadDeviceParams()
    {
        QFETCH(double, x);
        QFETCH(double, rack);
        QFETCH(QByteArray, head);
        Settings::modify([=](Settings &s) {
            s.calibration.x_axis_compression_ratio = x;
            s.calibration.rack_prpendicular = rack;
        });
        QVERIFY(device->uploadDeviceParams());
        const QByteArray bytes = sent();
        QCOMPARE(bytes.size(), 121);
        QCOMPARE(bytes.left(17), head);
        QCOMPARE(bytes.mid(17), QByteArray(104, '\0'));
    }

    void resetAdditionalCalibrationSendsReturnLater()
    {
        device->resetAdditionalCalibration();
        QByteArray all;
        QTRY_VERIFY_WITH_TIMEOUT((all += pty->readAvailable()).endsWith("Cr"), kWaitMs);
        QCOMPARE(all, QByteArray("Ke00000Cr"));
    }

    // --- the link --------------------------------------------------------------------------

    void portLossDuringStopDoesNotRecurse()
    {
        // The panel stops the trace on pushButtonStopTrace; on a lost port that stop writes to
        // the closed port, which reports the loss again.
        device->traceStarted = true;
        int stops = 0;
        connect(device.get(), &Device::pushButtonStopTrace, this, [&] {
            ++stops;
            device->stopTrace();
        });
        QSignalSpy lost(device.get(), &Device::deviceLost);
        device->replyState = Device::CONTOUR_PACKET;
        device->port->serialPort->close();
        device->moveX(0);
        QCOMPARE(stops, 1);
        QCOMPARE(lost.count(), 1);
        QVERIFY(!device->traceStarted);
        QCOMPARE(device->replyState, int(Device::IDENTIFICATION));
    }
};

QTEST_GUILESS_MAIN(TestDeviceProtocol)
#include "tst_DeviceProtocol.moc"
