#include "device/DevicePort.h"

#include <QDebug>
#include <QDir>
#include <QMetaMethod>
#include <QMetaObject>
#include <QMutexLocker>
#include <QSerialPortInfo>
#include <QThread>
#include <QTimer>

#include <utility>

DevicePort::DevicePort()
    : m_lister(&DevicePort::defaultPortList)
{
    qRegisterMetaType<QSerialPort::SerialPortError>("QSerialPort::SerialPortError");

    // The thread hosts nothing; the device panel shows that the link is alive by checking that it
    // runs. Its started signal arrives here as a queued call, so the port is created and searched
    // for on the first pass of the GUI thread's event loop.
    thread = new QThread(this);
    connect(thread, &QThread::started, this, &DevicePort::onThreadStarted);
    connect(thread, &QThread::finished, this, &DevicePort::onThreadFinished);
    thread->start(QThread::InheritPriority);
}

DevicePort::~DevicePort()
{
    if (serialPort && serialPort->isOpen())
        serialPort->close();
    disconnect(thread, nullptr, this, nullptr);
    if (thread->isRunning()) {
        thread->quit();
        thread->wait(1000);
    }
    if (checkTimer)
        checkTimer->stop();
    delete checkTimer;
    checkTimer = nullptr;
    delete serialPort;
    serialPort = nullptr;
}

QList<SerialPortCandidate> DevicePort::defaultPortList()
{
    QList<SerialPortCandidate> result;
    const QString named = qEnvironmentVariable(kPortsVariable);
    if (!named.isEmpty()) {
        // Ports named by the user are the instrument's: they count as having both identifiers.
        for (const QString &path : named.split(QDir::listSeparator(), Qt::SkipEmptyParts))
            result.append({path, path, true, true});
        return result;
    }
    for (const QSerialPortInfo &info : QSerialPortInfo::availablePorts()) {
        if (info.isNull())
            continue;
        result.append({info.portName(), info.systemLocation(), info.hasVendorIdentifier(),
                       info.hasProductIdentifier()});
    }
    return result;
}

void DevicePort::setPortLister(SerialPortLister lister)
{
    m_lister = std::move(lister);
}

void DevicePort::onThreadStarted()
{
    if (serialPort)
        return;
    serialPort = new QSerialPort();
    checkTimer = new QTimer();
    connect(serialPort, &QSerialPort::readyRead, this, &DevicePort::readyRead,
            Qt::DirectConnection);
    connect(serialPort, &QSerialPort::errorOccurred, this, &DevicePort::error,
            Qt::DirectConnection);
    connect(serialPort, &QSerialPort::bytesWritten, this, &DevicePort::onBytesWritten,
            Qt::DirectConnection);
    connect(checkTimer, &QTimer::timeout, this, &DevicePort::checkDevice);
    checkTimer->start(kSearchIntervalMs);
    findAndOpen();
}

void DevicePort::onThreadFinished()
{
    delete serialPort;
    serialPort = nullptr;
    delete checkTimer;
    checkTimer = nullptr;
}

void DevicePort::findAndOpen()
{
    const QList<SerialPortCandidate> candidates
        = m_lister ? m_lister() : QList<SerialPortCandidate>();
    for (const SerialPortCandidate &candidate : candidates) {
        if (!candidate.hasVendorIdentifier || !candidate.hasProductIdentifier)
            continue;
        serialPort->setPortName(candidate.systemLocation);
        serialPort->setBaudRate(kBaudRate, QSerialPort::AllDirections);
        serialPort->setDataBits(QSerialPort::Data8);
        serialPort->setParity(QSerialPort::NoParity);
        serialPort->setStopBits(QSerialPort::OneStop);
        serialPort->setFlowControl(QSerialPort::NoFlowControl);
        // A failed open also reports an error; that one is answered here, not by `error`.
        const QSignalBlocker blocker(serialPort);
        const bool opened = serialPort->open(QIODevice::ReadWrite);
        if (opened) {
            serialPort->clearError();
            {
                const QMutexLocker txLocker(&txMutex);
                const QMutexLocker rxLocker(&rxMutex);
                txQueue.clear();
                writing = false;
                rxBuffer.clear();
                rxHead = 0;
            }
            portName = candidate.portName.toUtf8().toStdString();
            emit portOpened();
            return;
        }
        emit portLost();
    }
    emit portLost();
}

void DevicePort::checkDevice()
{
    if (!isOpen())
        findAndOpen();
}

bool DevicePort::isOpen() const
{
    return serialPort && serialPort->isOpen();
}

void DevicePort::readyRead()
{
    if (!isOpen())
        return;
    receive(serialPort->readAll());
}

void DevicePort::receive(const QByteArray &bytes)
{
    // Consumed bytes are dropped once they are at least half of the buffer (and more than a few
    // dozen, so that tiny reads do not each pay for it): each byte is moved at most a bounded
    // number of times, however small the reads. The storage is kept (reserved), so a buffer that
    // was read empty does not cost a free and a new allocation per read.
    if (rxHead >= kCompactAfter && rxHead * 2 >= rxBuffer.size()) {
        rxBuffer.remove(0, rxHead);
        rxHead = 0;
    }
    if (rxBuffer.capacity() < kReceiveReserve)
        rxBuffer.reserve(kReceiveReserve);
    rxBuffer.append(bytes);
    if (m_parser)
        m_parser();
    // A signal without receivers returns at Qt's connection check, so a read costs no more.
    emit parseIncomingData();
}

void DevicePort::setParser(std::function<void()> parser)
{
    m_parser = std::move(parser);
}

std::string DevicePort::takeString(int n)
{
    const int count = qBound(0, n, available());
    std::string result(rxBuffer.constData() + rxHead, static_cast<size_t>(count));
    rxHead += count;
    return result;
}

QByteArray DevicePort::takeBytes(int n)
{
    const int count = qBound(0, n, available());
    QByteArray result = rxBuffer.mid(rxHead, count);
    rxHead += count;
    return result;
}

void DevicePort::write(const std::string &command)
{
    write(QByteArray(command.data(), static_cast<int>(command.size())));
}

void DevicePort::write(const char *command)
{
    write(QByteArray(command));
}

void DevicePort::write(const QByteArray &command)
{
    if (!isOpen()) {
        // Closing an unopened QSerialPort would report NotOpenError as a second loss.
        emit portLost();
        return;
    }
    // An empty block would never be confirmed by bytesWritten and would hold up every later
    // command, so it is not queued.
    if (command.isEmpty())
        return;
    bool idle = false;
    {
        const QMutexLocker locker(&txMutex);
        txQueue.append(command);
        idle = !writing;
        writing = true;
    }
    if (idle)
        scheduleWrite();
}

void DevicePort::scheduleWrite()
{
    QMetaObject::invokeMethod(
        this, [this] { writeNext(); }, Qt::QueuedConnection);
}

// Takes the next block off the queue and writes it; an empty queue (or a closed port) makes the
// link idle.
void DevicePort::writeNext()
{
    QByteArray block;
    {
        const QMutexLocker locker(&txMutex);
        if (txQueue.isEmpty() || !isOpen()) {
            writing = false;
            return;
        }
        block = txQueue.takeFirst();
    }
    startBlock(block);
}

// Hands one block to the port (no lock held: the port may report an error at once). One block is
// in flight at a time, so the controller receives the commands in the order written.
void DevicePort::startBlock(const QByteArray &block)
{
    if (serialPort->write(block) != -1)
        return;
    qDebug() << "Ошибка записи: " << serialPort->errorString();
    bool more = false;
    {
        const QMutexLocker locker(&txMutex);
        more = !txQueue.isEmpty();
        writing = more;
    }
    if (more)
        scheduleWrite();
}

void DevicePort::onBytesWritten(qint64 bytes)
{
    Q_UNUSED(bytes)
    // The port reports a block it has passed on; more of that block may still be pending.
    if (serialPort && serialPort->bytesToWrite() > 0)
        return;
    writeNext();
}

void DevicePort::error(QSerialPort::SerialPortError code)
{
    if (!serialPort || code == QSerialPort::NoError || code == QSerialPort::TimeoutError)
        return;
    if (serialPort->isOpen())
        serialPort->close();
    {
        const QMutexLocker txLocker(&txMutex);
        const QMutexLocker rxLocker(&rxMutex);
        txQueue.clear();
        rxBuffer.clear();
        rxHead = 0;
        writing = false;
    }
    emit portLost();
}
