// The reply parser on its own: bytes fed straight in, the decoded replies logged by a handler.

#include "device/ReplyParser.h"
#include "support/SimulatedInstrument.h"

#include <QtTest>

#include <functional>

namespace replies = testsupport::replies;

namespace {

// A parser whose handler logs every decoded reply as text. An identification containing "OK" is
// taken as the profilometer's (state 1), like the device does; a test may do more.
class LogHandler : public ReplyParser::Handler
{
public:
    ReplyParser parser {this};
    QStringList log;
    std::function<void()> onSample;

    void identification(const QByteArray &text) override
    {
        log << QStringLiteral("id:") + QString::fromLatin1(text).trimmed();
        if (text.contains("OK"))
            parser.replyState = ReplyParser::POSITION;
    }
    void position(int value) override { log << QStringLiteral("pos:%1").arg(value); }
    void previewSample(int value, double xpos) override
    {
        log << QStringLiteral("pre:%1@%2").arg(value).arg(xpos);
    }
    void previewEnded() override { log << QStringLiteral("preEnd"); }
    void blockSample(double probe, double xpos) override
    {
        log << QStringLiteral("blk:%1@%2").arg(probe).arg(xpos);
        if (onSample)
            onSample();
    }
    void blockEnded() override { log << QStringLiteral("blkEnd"); }
    // The calibration text is read whole, whatever arrives with it.
    void calibrationText(const QByteArray &) override { }
    void calibrationFinished() override { log << QStringLiteral("calDone"); }
    void deviceParams(const qint32 (&params)[ReplyParser::kDeviceParamCount]) override
    {
        log << QStringLiteral("params:%1,%2,%3,%4")
                   .arg(params[0])
                   .arg(params[1])
                   .arg(params[2])
                   .arg(params[29]);
    }
    void contourPacket(int status, int alarm) override
    {
        log << QStringLiteral("contour:%1/%2/%3 %4 %5")
                   .arg(parser.probeHeight)
                   .arg(parser.consoleHeight)
                   .arg(parser.xPosition)
                   .arg(status)
                   .arg(alarm);
    }
};

// Block length, sample scale and block header of a block with `samples` samples.
QByteArray blockHeaders(int samples, quint32 scale)
{
    const quint32 blockLength = static_cast<quint32>((samples * 2 + 1026) / 2 * 8);
    return replies::u24be(blockLength) + QByteArray(3, 'x') + replies::u24le(scale)
        + replies::u16le(static_cast<quint16>(samples)) + QByteArray(2, '\0');
}

// A profilometer trace after the trace command: steps header, three preview samples (the last
// one dropped at the end marker), the block and two position packets.
QByteArray profilometerTrace()
{
    QByteArray stream
        = "ST" + replies::u16le(4) + QByteArray::fromHex("42000142000242000300000001");
    stream += blockHeaders(5, 1000) + QByteArray("\xAA\xBB");
    for (int i = 0; i < 5; ++i)
        stream += replies::u16be(static_cast<quint16>(100 * i + 1));
    return stream + replies::position(77) + replies::position(78);
}

const QStringList kProfilometerTraceLog
    = {"pre:1@0",         "pre:2@10000",     "preEnd",          "blk:1e-05@0",
       "blk:0.00101@200", "blk:0.00201@400", "blk:0.00301@600", "blk:0.00401@800",
       "blkEnd",          "pos:77",          "pos:78"};

// The contourograph after identification: junk, the parameter marker, the parameters and contour
// packets with junk between them.
QByteArray contourographSession()
{
    QVector<qint32> params(ReplyParser::kDeviceParamCount, 0);
    params[0] = 1000000;
    params[1] = -5;
    params[2] = 300;
    params[29] = 7;
    return QByteArray("xyAAA") + replies::deviceParams(params)
        + replies::contourPacket(1, 100, 10, 1, 2) + QByteArray::fromHex("00ff13")
        + replies::contourPacket(-2, 200, 0xABCDEF, 109, 110);
}

const QStringList kContourographLog
    = {"params:1000000,-5,300,7", "contour:1/100/10 1 2", "contour:-2/200/11259375 109 110"};

} // namespace

class TestReplyParser : public QObject
{
    Q_OBJECT

private slots:
    void packets_data();
    void packets();
    void streamCutAnywhere_data();
    void streamCutAnywhere();
    void feedFromInsideAHandler();
    void readsAnotherBuffer();
    void identificationStartsOver();
};

void TestReplyParser::packets_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("input");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("stateAfter");
    QTest::addColumn<int>("left");

    QTest::newRow("profilometer identification")
        << 0 << replies::identification("xOKx") << QStringList {"id:xOKx"} << 1 << 0;
    QTest::newRow("identification waits for 20 bytes")
        << 0 << QByteArray("OK") << QStringList {} << 0 << 2;
    // Each window is seen with the 19 bytes before it, so a text cut by the windows is whole.
    QTest::newRow("identification text across two windows")
        << 0 << QByteArray(19, '#') + "OK" + QByteArray(19, '#')
        << QStringList {"id:" + QString(19, '#') + "O",
                        "id:" + QString(18, '#') + "OK" + QString(19, '#')}
        << 1 << 0;
    QTest::newRow("positions and a partial one")
        << 1 << replies::position(0x1234) + replies::position(1) + "Z"
        << QStringList {"pos:4660", "pos:1"} << 1 << 1;
    QTest::newRow("position resynchronises on Z")
        << 1 << QByteArray("\x13\x00", 2) + replies::position(16) << QStringList {"pos:16"} << 1
        << 0;
    QTest::newRow("preview sample waits for the next B")
        << 2 << QByteArray::fromHex("420A1B42") << QStringList {"pre:2587@0"} << 2 << 1;
    QTest::newRow("end marker behind a sample ending in zeros")
        << 2 << QByteArray::fromHex("420A0000000001") << QStringList {"preEnd"} << 4 << 0;
    QTest::newRow("steps header behind an S")
        << 3 << QByteArray::fromHex("535354E803") << QStringList {} << 2 << 0;
    QTest::newRow("block of no samples ends at once")
        << 4 << blockHeaders(0, 1) << QStringList {"blkEnd"} << 1 << 0;
    QTest::newRow("calibration text ending in its marker")
        << 8 << QByteArray("Stage 5\r\nStage 6") << QStringList {"calDone"} << 1 << 0;
    QTest::newRow("calibration text without the marker")
        << 8 << QByteArray("stage 6 Stage 7") << QStringList {} << 8 << 0;
    QTest::newRow("marker missed, then found")
        << 9 << QByteArray("AABAAA") << QStringList {} << 10 << 0;
    QTest::newRow("parameters wait for 120 bytes")
        << 10 << QByteArray(119, '\x01') << QStringList {} << 10 << 119;
    QTest::newRow("contour packet behind junk")
        << 11 << QByteArray("zz") + replies::contourPacket(5, 6, 7, 8, 9)
        << QStringList {"contour:5/6/7 8 9"} << 11 << 0;
    QTest::newRow("a state without a reader consumes nothing")
        << 12 << QByteArray("abc") << QStringList {} << 12 << 3;
}

// Each state's packet is decoded, the state moves on, and only whole packets are taken.
void TestReplyParser::packets()
{
    QFETCH(int, state);
    QFETCH(QByteArray, input);
    QFETCH(QStringList, log);
    QFETCH(int, stateAfter);
    QFETCH(int, left);
    LogHandler handler;
    ReplyParser &parser = handler.parser;
    parser.replyState = state;
    parser.steps = 1;
    parser.feed(input);
    QCOMPARE(handler.log, log);
    QCOMPARE(parser.replyState, stateAfter);
    QCOMPARE(parser.available(), left);
}

void TestReplyParser::streamCutAnywhere_data()
{
    QTest::addColumn<int>("state");
    QTest::addColumn<QByteArray>("stream");
    QTest::addColumn<QStringList>("log");
    QTest::addColumn<int>("chunk");

    for (int chunk : {0, 1, 2, 3, 5, 13}) {
        QTest::addRow("profilometer trace, reads of %d", chunk)
            << 3 << profilometerTrace() << kProfilometerTraceLog << chunk;
        QTest::addRow("contourograph, reads of %d", chunk)
            << 9 << contourographSession() << kContourographLog << chunk;
        QTest::addRow("calibration text, reads of %d", chunk)
            << 8 << QByteArray("Stage 5\r\nStage 6") << QStringList {"calDone"} << chunk;
    }
}

// However the line cuts a stream into reads (0: one read), the same replies come out.
void TestReplyParser::streamCutAnywhere()
{
    QFETCH(int, state);
    QFETCH(QByteArray, stream);
    QFETCH(QStringList, log);
    QFETCH(int, chunk);
    LogHandler handler;
    ReplyParser &parser = handler.parser;
    parser.replyState = state;
    const int step = chunk == 0 ? stream.size() : chunk;
    for (int i = 0; i < stream.size(); i += step)
        parser.feed(stream.mid(i, step));
    QCOMPARE(handler.log, log);
    QCOMPARE(parser.available(), 0);
}

// A handler that feeds the rest of the block while it handles a sample (a receiver running an
// event loop in which bytes arrive) gets every sample once, in order, and one block end.
void TestReplyParser::feedFromInsideAHandler()
{
    const QByteArray stream = profilometerTrace();
    LogHandler handler;
    ReplyParser &parser = handler.parser;
    parser.replyState = ReplyParser::STEPS_HEADER;
    const int firstRead = stream.indexOf("\xAA\xBB") + 4; // up to the first sample
    int fed = firstRead;
    handler.onSample = [&] {
        if (fed < stream.size()) {
            fed += 3;
            parser.feed(stream.mid(fed - 3, 3));
        }
    };
    parser.feed(stream.left(firstRead));
    QVERIFY(handler.log.contains(QStringLiteral("blkEnd")));
    parser.feed(stream.mid(fed));
    QCOMPARE(handler.log, kProfilometerTraceLog);
    QCOMPARE(parser.available(), 0);
}

// Set on another buffer, the parser consumes from that buffer's read position and leaves the
// rest there.
void TestReplyParser::readsAnotherBuffer()
{
    LogHandler handler;
    ReplyParser &parser = handler.parser;
    QByteArray buffer = "used" + replies::position(5) + "Z";
    int head = 4;
    parser.setInput(&buffer, &head);
    parser.replyState = ReplyParser::POSITION;
    parser.parse();
    QCOMPARE(handler.log, QStringList {"pos:5"});
    QCOMPARE(head, buffer.size() - 1);
    QCOMPARE(parser.available(), 1);
    parser.clearInput();
    QCOMPARE(head, buffer.size());
}

void TestReplyParser::identificationStartsOver()
{
    // The bytes read before the port was opened again are not joined with the new ones.
    LogHandler handler;
    ReplyParser &parser = handler.parser;
    parser.feed(QByteArray(19, '#') + "O");
    parser.expectIdentification();
    parser.feed("K" + QByteArray(19, '#'));
    QCOMPARE(handler.log.size(), 2);
    QCOMPARE(handler.log.last(), "id:K" + QString(19, '#'));
    QCOMPARE(parser.replyState, int(ReplyParser::IDENTIFICATION));
}

QTEST_GUILESS_MAIN(TestReplyParser)
#include "tst_ReplyParser.moc"
