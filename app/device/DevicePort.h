#pragma once

#include <QAtomicInt>
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QObject>
#include <QSerialPort>
#include <QString>

#include <functional>
#include <string>

class QThread;
class QTimer;

// One serial port as the instrument search sees it.
struct SerialPortCandidate
{
    // Name shown to the user and given to traces (for example "ttyUSB0").
    QString portName;
    // What the port is opened with (a device path on Linux, "COM3" on Windows).
    QString systemLocation;
    bool hasVendorIdentifier = false;
    bool hasProductIdentifier = false;
};

// Lists the ports that the instrument search tries, in the order it tries them.
using SerialPortLister = std::function<QList<SerialPortCandidate>()>;

// The serial connection to the instrument's controller.
//
// The instrument is the first listed port that reports both a USB vendor and product identifier
// and opens at 460800 baud, 8N1, no flow control. While no port is open the search is repeated
// every 2000 ms, so unplugging and replugging the instrument needs no action from the user.
//
// Where the ports come from: by default every port that QSerialPortInfo reports. When the
// environment variable SURFACEMETER_SERIAL_PORTS is set, it names the ports instead (device paths
// separated by ':' on Linux, ';' on Windows), tried in that order and taken as the instrument's
// own; this is how the program is run against a simulated instrument on a pseudo-terminal.
// `setPortLister` replaces the list for one link (tests use it).
//
// Everything runs on the GUI thread: the port and the timer are created there, their signals
// arrive there and the reply parser consumes the receive buffer there. No mutex is held while a
// signal is emitted, so a receiver may write commands or run a nested event loop.
class DevicePort : public QObject
{
    Q_OBJECT

public:
    DevicePort();
    ~DevicePort() override;

    DevicePort(const DevicePort &) = delete;
    DevicePort &operator=(const DevicePort &) = delete;

    static constexpr int kBaudRate = 460800;
    static constexpr int kSearchIntervalMs = 2000;
    // Storage the receive buffer keeps once it has been used.
    static constexpr int kReceiveReserve = 4096;
    // Consumed bytes kept at the front of the receive buffer before they are dropped.
    static constexpr int kCompactAfter = 32;
    static constexpr const char *kPortsVariable = "SURFACEMETER_SERIAL_PORTS";

    // The ports the search tries when no lister was set: those named by SURFACEMETER_SERIAL_PORTS,
    // or else every port of the system.
    static QList<SerialPortCandidate> defaultPortList();
    // Replaces the port list of this link's later searches.
    void setPortLister(SerialPortLister lister);

    // The port object exists and is open.
    bool isOpen() const;
    // Queues a command; the bytes are sent unchanged, in the order written. On a closed port the
    // command is dropped and `portLost` is emitted. An empty command is ignored.
    void write(const std::string &command);
    void write(const QByteArray &command);
    // A literal command ("CP"), up to its terminating NUL; without this overload a literal
    // would match the two above equally well.
    void write(const char *command);

    // Appends received bytes to the buffer and has them parsed: the reply parser set with
    // `setParser` runs first, then `parseIncomingData` is emitted. The port's readyRead uses it
    // with what the port delivered.
    void receive(const QByteArray &bytes);
    // The reply parser `receive` calls directly. A plain call costs far less than a signal
    // connection, and the parser runs once per read, which may be only a few bytes.
    void setParser(std::function<void()> parser);

    // The reply parser's view of the receive buffer. None of these locks: they run on the GUI
    // thread only, inside the parse that `receive` starts.
    int available() const { return rxBuffer.size() - rxHead; }
    std::string takeString(int n);
    QByteArray takeBytes(int n);
    char takeChar() { return available() > 0 ? rxBuffer.at(rxHead++) : '\0'; }
    quint8 takeByte() { return static_cast<quint8>(takeChar()); }
    // The byte at index i of the unread bytes; the caller guarantees i < available().
    quint8 byteAt(int i) const { return static_cast<quint8>(rxBuffer.at(rxHead + i)); }
    // Drops up to n unread bytes.
    void skip(int n) { rxHead += qBound(0, n, available()); }

    QSerialPort *serialPort = nullptr;
    QThread *thread = nullptr;
    QTimer *checkTimer = nullptr;
    // Received bytes; the unread ones start at rxHead (consumed bytes are dropped from the front
    // in bulk, so the parser's cost stays linear in the bytes received). The buffer belongs to
    // the GUI thread: `receive` and the parser use it without a lock; rxMutex is held only where
    // the port's callbacks reset it.
    QByteArray rxBuffer;
    int rxHead = 0;
    QMutex rxMutex;
    QMutex txMutex;
    bool writing = false;
    QList<QByteArray> txQueue;
    // The port last opened, UTF-8; kept when the port is lost.
    std::string portName;

signals:
    void parseIncomingData();
    void portLost();
    void portOpened();

public slots:
    void onBytesWritten(qint64 bytes);
    void readyRead();
    void error(QSerialPort::SerialPortError error);
    void checkDevice();

private:
    void onThreadStarted();
    void onThreadFinished();
    void findAndOpen();
    void writeNext();
    void scheduleWrite();
    void startBlock(const QByteArray &block);

    SerialPortLister m_lister;
    std::function<void()> m_parser;
};
