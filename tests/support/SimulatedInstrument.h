#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPair>
#include <QString>
#include <QTemporaryDir>
#include <QVector>

class QSocketNotifier;
class QTimer;

namespace testsupport {

// A pseudo-terminal pair in raw mode. The program opens the far side (`slavePath`) as its serial
// port; the test reads what the program writes and writes what it should receive through the
// near side. The far side is kept open here as well, so the near side never sees a hang-up
// while the program has the port closed.
class PseudoTerminal
{
public:
    PseudoTerminal();
    ~PseudoTerminal();
    PseudoTerminal(const PseudoTerminal &) = delete;
    PseudoTerminal &operator=(const PseudoTerminal &) = delete;

    bool isOpen() const { return m_master >= 0; }
    QString slavePath() const { return m_slavePath; }
    int masterFd() const { return m_master; }

    // Everything the program wrote that has not been read yet (never blocks).
    QByteArray readAvailable();
    // Writes all bytes (waits for room in the line, at most about a second).
    bool writeAll(const QByteArray &bytes);
    void close();

private:
    int m_master = -1;
    int m_slave = -1;
    QString m_slavePath;
};

// Builders of the controller's replies.
namespace replies {
QByteArray identification(const QByteArray &text);
QByteArray position(quint16 value);
QByteArray contourPacket(qint32 probe, qint32 console, quint32 x, quint8 status, quint8 alarm);
QByteArray deviceParams(const QVector<qint32> &params);
QByteArray u16be(quint16 value);
QByteArray u16le(quint16 value);
QByteArray u24be(quint32 value);
QByteArray u24le(quint32 value);
} // namespace replies

// A simulated instrument controller on a pseudo-terminal. It answers the identification as a
// profilometer or a contourograph, records every command it receives, streams profilometer
// traces (steps header, preview, end marker, block header and sample block) and contour traces
// (packets with status and alarm bytes), runs the calibration stages and raises alarms.
//
// The program reaches it through `linkPath`, a symbolic link that always points at the current
// pseudo-terminal: `dropLine` closes the line (the program sees the port fail, and the path is
// dangling) and `restoreLine` opens a new one behind the same path.
//
// Fault modes: replies delivered in small chunks, junk bytes between packets, a reply that stalls
// after a number of packets (until `resume`), and the loss of the line.
class SimulatedInstrument : public QObject
{
    Q_OBJECT

public:
    enum Kind { Profilometer, Contourograph };

    explicit SimulatedInstrument(Kind kind, QObject *parent = nullptr);
    ~SimulatedInstrument() override;

    bool isValid() const;
    QString linkPath() const;

    // --- behaviour -------------------------------------------------------------------------
    Kind kind;
    // Identification text (padded to 20 bytes); the default is the kind's.
    QByteArray identificationText;
    // The contourograph's parameter reply after "CO"; empty sends no reply at all.
    QVector<qint32> deviceParams;
    // Profilometer trace.
    int previewSamples = 20;
    quint16 profileSteps = 1000;
    int blockLength = 12104; // 1000 samples
    quint32 sampleScale = 1000;
    // Contour trace: points recorded with alarm 2, X from contourStartX in contourStepX steps.
    int contourPoints = 40;
    quint32 contourStartX = 1000;
    quint32 contourStepX = 10;
    // The (status, alarm) bytes of the packets that follow a contour trace's points: by default
    // the controller's stop (alarm 1).
    QVector<QPair<quint8, quint8>> contourTraceEnd {{0, 1}};

    // --- fault modes ------------------------------------------------------------------------
    // Replies are delivered in chunks of this many bytes, one chunk per event-loop pass (0: whole).
    int chunkSize = 0;
    // Inserted between the packets of a trace.
    QByteArray junk;
    // The trace stream stops after this many packets (and half of the next), until `resume`.
    int stallAfterPackets = -1;
    // Identification requests are not answered.
    bool silent = false;
    // Trace-start commands are answered with a trace; false records them only (a test that
    // plays a trace the controller started by itself sends the packets on its own).
    bool answerTraceStart = true;

    // --- what the program sent ----------------------------------------------------------------
    QByteArray received;
    QList<QByteArray> commands;
    int count(const QByteArray &command) const;

    // --- actions ----------------------------------------------------------------------------
    void sendRaw(const QByteArray &bytes);
    void sendContourStatus(quint8 status, quint8 alarm, qint32 probe = 100, qint32 console = 500,
                           quint32 x = 0);
    void resume();
    // A contourograph sends its contour packets all the time, also while no program has the
    // port open: from now on a status packet (status and alarm 0) goes out every intervalMs.
    // What the line cannot take while nobody reads is lost, as on a real line, and a packet may
    // be cut there; replies to commands go out between packets, and a trace's packets take the
    // place of the status packets while they last.
    void startStreaming(int intervalMs = 1);
    void stopStreaming();
    // Status packets sent so far.
    int streamedPackets() const { return m_streamed; }
    void dropLine();
    bool restoreLine();
    // All queued bytes were written to the line.
    bool idle() const;

signals:
    void commandReceived(const QByteArray &command);

private:
    void openLine();
    void onReadable();
    void onWritable();
    void parseCommands();
    void handleCommand(const QByteArray &command);
    void queue(const QByteArray &bytes);
    void queuePackets(const QList<QByteArray> &packets, const QByteArray &separator);
    void flush();
    void streamProfileTrace();
    void streamContourTrace();
    void runContourCalibration();
    void runProfileCalibration();
    void streamStatusPacket();

    QTemporaryDir m_dir;
    PseudoTerminal *m_line = nullptr;
    QSocketNotifier *m_readNotifier = nullptr;
    QSocketNotifier *m_writeNotifier = nullptr;
    QTimer *m_chunkTimer = nullptr;
    QTimer *m_streamTimer = nullptr;
    int m_streamed = 0;
    QByteArray m_in;
    QByteArray m_out;
    QByteArray m_heldBack;
};

} // namespace testsupport
