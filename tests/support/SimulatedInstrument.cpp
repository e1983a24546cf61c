#include "support/SimulatedInstrument.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <cerrno>
#include <fcntl.h>
#include <poll.h>
#include <pty.h>
#include <termios.h>
#include <unistd.h>

namespace testsupport {

// ---------------------------------------------------------------------------------------------
// PseudoTerminal

PseudoTerminal::PseudoTerminal()
{
    char name[256] = {};
    if (::openpty(&m_master, &m_slave, name, nullptr, nullptr) != 0) {
        m_master = m_slave = -1;
        return;
    }
    termios attributes {};
    if (::tcgetattr(m_slave, &attributes) == 0) {
        ::cfmakeraw(&attributes);
        ::tcsetattr(m_slave, TCSANOW, &attributes);
    }
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);
    m_slavePath = QString::fromLocal8Bit(name);
}

PseudoTerminal::~PseudoTerminal()
{
    close();
}

void PseudoTerminal::close()
{
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = m_master = -1;
}

QByteArray PseudoTerminal::readAvailable()
{
    QByteArray result;
    if (m_master < 0)
        return result;
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, sizeof buffer);
        if (n <= 0)
            break;
        result.append(buffer, static_cast<int>(n));
    }
    return result;
}

bool PseudoTerminal::writeAll(const QByteArray &bytes)
{
    int written = 0;
    const QDeadlineTimer deadline(1000);
    while (written < bytes.size() && m_master >= 0) {
        const ssize_t n = ::write(m_master, bytes.constData() + written,
                                  static_cast<size_t>(bytes.size() - written));
        if (n > 0) {
            written += static_cast<int>(n);
            continue;
        }
        if (n < 0 && errno != EAGAIN && errno != EINTR)
            return false;
        if (deadline.hasExpired())
            return false;
        pollfd descriptor {m_master, POLLOUT, 0};
        ::poll(&descriptor, 1, 20);
    }
    return written == bytes.size();
}

// ---------------------------------------------------------------------------------------------
// Reply builders

namespace replies {

QByteArray u16be(quint16 value)
{
    return QByteArray(1, static_cast<char>(value >> 8)) + QByteArray(1, static_cast<char>(value));
}

QByteArray u16le(quint16 value)
{
    return QByteArray(1, static_cast<char>(value)) + QByteArray(1, static_cast<char>(value >> 8));
}

QByteArray u24be(quint32 value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(value >> 16));
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value));
    return bytes;
}

QByteArray u24le(quint32 value)
{
    QByteArray bytes;
    bytes.append(static_cast<char>(value));
    bytes.append(static_cast<char>(value >> 8));
    bytes.append(static_cast<char>(value >> 16));
    return bytes;
}

static QByteArray i32le(qint32 signedValue)
{
    const auto value = static_cast<quint32>(signedValue);
    QByteArray bytes;
    for (int shift = 0; shift < 32; shift += 8)
        bytes.append(static_cast<char>(value >> shift));
    return bytes;
}

QByteArray identification(const QByteArray &text)
{
    return text.leftJustified(20, ' ', true);
}

QByteArray position(quint16 value)
{
    return "Z" + u16be(value);
}

QByteArray contourPacket(qint32 probe, qint32 console, quint32 x, quint8 status, quint8 alarm)
{
    return "B" + i32le(probe) + i32le(console) + u24le(x) + QByteArray(1, static_cast<char>(status))
        + QByteArray(1, static_cast<char>(alarm));
}

QByteArray deviceParams(const QVector<qint32> &params)
{
    QByteArray bytes;
    for (int i = 0; i < 30; ++i)
        bytes += i32le(i < params.size() ? params[i] : 0);
    return bytes;
}

} // namespace replies

// ---------------------------------------------------------------------------------------------
// SimulatedInstrument

SimulatedInstrument::SimulatedInstrument(Kind instrumentKind, QObject *parent)
    : QObject(parent)
    , kind(instrumentKind)
{
    identificationText = kind == Profilometer ? QByteArray("T46 OK") : QByteArray("Vexa_526_R1");
    deviceParams = {1000000, 1000000, 0, 0};
    m_chunkTimer = new QTimer(this);
    m_chunkTimer->setInterval(1);
    connect(m_chunkTimer, &QTimer::timeout, this, &SimulatedInstrument::flush);
    m_streamTimer = new QTimer(this);
    connect(m_streamTimer, &QTimer::timeout, this, &SimulatedInstrument::streamStatusPacket);
    openLine();
}

SimulatedInstrument::~SimulatedInstrument()
{
    dropLine();
}

bool SimulatedInstrument::isValid() const
{
    return m_dir.isValid() && m_line && m_line->isOpen();
}

QString SimulatedInstrument::linkPath() const
{
    return m_dir.filePath(QStringLiteral("instrument"));
}

int SimulatedInstrument::count(const QByteArray &command) const
{
    return static_cast<int>(commands.count(command));
}

bool SimulatedInstrument::idle() const
{
    return m_out.isEmpty();
}

void SimulatedInstrument::openLine()
{
    m_line = new PseudoTerminal();
    if (!m_line->isOpen())
        return;
    QFile::remove(linkPath());
    QFile::link(m_line->slavePath(), linkPath());
    m_readNotifier = new QSocketNotifier(m_line->masterFd(), QSocketNotifier::Read, this);
    connect(m_readNotifier, &QSocketNotifier::activated, this, &SimulatedInstrument::onReadable);
    m_writeNotifier = new QSocketNotifier(m_line->masterFd(), QSocketNotifier::Write, this);
    m_writeNotifier->setEnabled(false);
    connect(m_writeNotifier, &QSocketNotifier::activated, this, &SimulatedInstrument::onWritable);
}

void SimulatedInstrument::dropLine()
{
    // The path goes with the line: a dangling link could reach a pseudo-terminal that the system
    // hands to someone else meanwhile (another test running beside this one).
    QFile::remove(linkPath());
    m_chunkTimer->stop();
    delete m_readNotifier;
    m_readNotifier = nullptr;
    delete m_writeNotifier;
    m_writeNotifier = nullptr;
    delete m_line;
    m_line = nullptr;
    m_in.clear();
    m_out.clear();
    m_heldBack.clear();
}

bool SimulatedInstrument::restoreLine()
{
    dropLine();
    openLine();
    return isValid();
}

void SimulatedInstrument::onReadable()
{
    const QByteArray bytes = m_line->readAvailable();
    received += bytes;
    m_in += bytes;
    parseCommands();
}

void SimulatedInstrument::onWritable()
{
    m_writeNotifier->setEnabled(false);
    flush();
}

// Commands have no terminator; each one's length follows from its first bytes.
void SimulatedInstrument::parseCommands()
{
    for (;;) {
        if (m_in.isEmpty())
            return;
        int length = 1;
        const char first = m_in.at(0);
        const char second = m_in.size() > 1 ? m_in.at(1) : '\0';
        switch (first) {
        case 'C':
            length = 2;
            break;
        case 'P':
        case 'S':
        case 'D':
            length = 3;
            break;
        case 'R':
            length = 5;
            break;
        case 'K':
            length = 7;
            break;
        case 'O':
            length = 121;
            break;
        default:
            break;
        }
        if (first == 'P' && m_in.size() > 1 && second != 'R' && second != 'S' && second != 'F'
            && second != 'L' && second != 'd' && second != 'u')
            length = 1;
        if (m_in.size() < length)
            return;
        const QByteArray command = m_in.left(length);
        m_in.remove(0, length);
        commands.append(command);
        handleCommand(command);
        emit commandReceived(command);
    }
}

void SimulatedInstrument::handleCommand(const QByteArray &command)
{
    if (command == "CP") {
        if (!silent)
            queue(replies::identification(identificationText));
    } else if (command == "CO") {
        if (!deviceParams.isEmpty())
            queue("AAA" + replies::deviceParams(deviceParams));
    } else if (command == "CS" || command == "Cs" || command == "CL") {
        if (!answerTraceStart)
            return;
        if (kind == Profilometer)
            streamProfileTrace();
        else
            streamContourTrace();
    } else if (command.startsWith("Ka")) {
        runProfileCalibration();
    } else if (command == "CK") {
        runContourCalibration();
    }
}

void SimulatedInstrument::sendRaw(const QByteArray &bytes)
{
    queue(bytes);
}

void SimulatedInstrument::sendContourStatus(quint8 status, quint8 alarm, qint32 probe,
                                            qint32 console, quint32 x)
{
    queue(replies::contourPacket(probe, console, x, status, alarm));
}

void SimulatedInstrument::queue(const QByteArray &bytes)
{
    m_out += bytes;
    flush();
}

void SimulatedInstrument::queuePackets(const QList<QByteArray> &packets,
                                       const QByteArray &separator)
{
    QByteArray stream;
    for (int i = 0; i < packets.size(); ++i) {
        if (i == stallAfterPackets) {
            const QByteArray &packet = packets[i];
            stream += packet.left(packet.size() / 2);
            m_heldBack = packet.mid(packet.size() / 2);
            for (int j = i + 1; j < packets.size(); ++j)
                m_heldBack += separator + packets[j];
            break;
        }
        if (i > 0)
            stream += separator;
        stream += packets[i];
    }
    queue(stream);
}

void SimulatedInstrument::resume()
{
    stallAfterPackets = -1;
    const QByteArray rest = m_heldBack;
    m_heldBack.clear();
    queue(rest);
}

void SimulatedInstrument::startStreaming(int intervalMs)
{
    m_streamTimer->start(intervalMs);
}

void SimulatedInstrument::stopStreaming()
{
    m_streamTimer->stop();
}

void SimulatedInstrument::streamStatusPacket()
{
    // Bytes still waiting for the line (a reply, a trace, or a packet the line did not take)
    // go first; a status packet that finds them there is not sent.
    if (!m_line || !m_line->isOpen() || !m_out.isEmpty())
        return;
    // The carriage at rest, its values trembling a little. None of the packet's bytes spells a
    // known identification text.
    const int i = m_streamed++;
    const QByteArray packet
        = replies::contourPacket(200 + i % 50, 500, 1000 + static_cast<quint32>(i % 20), 0, 0);
    const ssize_t n = ::write(m_line->masterFd(), packet.constData(), packet.size());
    // A line that takes only part of the packet has cut it; the rest is lost with the packets
    // that find the line full.
    Q_UNUSED(n)
}

void SimulatedInstrument::flush()
{
    if (!m_line || !m_line->isOpen()) {
        m_chunkTimer->stop();
        return;
    }
    if (m_out.isEmpty()) {
        m_chunkTimer->stop();
        return;
    }
    const int size = chunkSize > 0 ? qMin(chunkSize, m_out.size()) : m_out.size();
    const ssize_t n = ::write(m_line->masterFd(), m_out.constData(), static_cast<size_t>(size));
    if (n > 0)
        m_out.remove(0, static_cast<int>(n));
    if (m_out.isEmpty()) {
        m_chunkTimer->stop();
        return;
    }
    if (chunkSize > 0) {
        if (!m_chunkTimer->isActive())
            m_chunkTimer->start();
    } else {
        m_writeNotifier->setEnabled(true);
    }
}

void SimulatedInstrument::streamProfileTrace()
{
    QList<QByteArray> packets;
    packets << "ST" + replies::u16le(profileSteps);
    for (int i = 0; i < previewSamples; ++i)
        packets << "B" + replies::u16be(static_cast<quint16>(1000 + i));
    packets << QByteArray("\x00\x00\x00\x01", 4);
    packets << replies::u24be(static_cast<quint32>(blockLength));
    packets << QByteArray(3, '\x7f') + replies::u24le(sampleScale);
    packets << replies::u16le(profileSteps) + QByteArray(2, '\x00');
    const int length = blockLength / 8 * 2 - 1026;
    QByteArray block = QByteArray(2, '\x55');
    for (int i = 0; i < length / 2; ++i)
        block += replies::u16be(static_cast<quint16>((i * 37) % 4096));
    packets << block;
    // The parts of the profilometer's stream have no signature to resynchronise on: no junk.
    queuePackets(packets, QByteArray());
}

void SimulatedInstrument::streamContourTrace()
{
    QList<QByteArray> packets;
    for (int i = 0; i < contourPoints; ++i) {
        const quint32 x = contourStartX + static_cast<quint32>(i) * contourStepX;
        packets << replies::contourPacket(500 + (i % 50) * 10, 1000 + i, x, 1, 2);
    }
    for (const QPair<quint8, quint8> &end : qAsConst(contourTraceEnd)) {
        packets << replies::contourPacket(500, 1000, contourStartX + contourPoints * contourStepX,
                                          end.first, end.second);
    }
    queuePackets(packets, junk);
}

void SimulatedInstrument::runContourCalibration()
{
    QList<QByteArray> packets;
    for (const int stage : {1, 2, 3, 4, 5, 107, 108, 109})
        packets << replies::contourPacket(100, 500, 0, static_cast<quint8>(stage), 10);
    packets << replies::contourPacket(100, 500, 0, 0, 0);
    queuePackets(packets, junk);
}

void SimulatedInstrument::runProfileCalibration()
{
    QByteArray text;
    for (int stage = 1; stage <= 6; ++stage)
        text += "Stage " + QByteArray::number(stage) + " done\r\n";
    queue(text);
}

} // namespace testsupport
