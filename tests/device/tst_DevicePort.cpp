// The serial link: the instrument search over a list of ports, the receive buffer and the send
// queue, on real pseudo-terminals.

#include "device/DevicePort.h"
#include "support/SimulatedInstrument.h"
#include "support/TestSupport.h"

#include <QSignalSpy>
#include <QtTest>

#include <memory>

using testsupport::PseudoTerminal;

namespace {

constexpr int kWaitMs = 5000;

// Reads the near side of a line until it holds `expected` bytes or the wait ends.
QByteArray readLine(PseudoTerminal &line, int expected)
{
    QByteArray all;
    QDeadlineTimer deadline(kWaitMs);
    while (all.size() < expected && !deadline.hasExpired()) {
        QTest::qWait(1);
        all += line.readAvailable();
    }
    return all;
}

} // namespace

class TestDevicePort : public QObject
{
    Q_OBJECT

private:
    PseudoTerminal lineA;
    PseudoTerminal lineB;

    // A link whose search tries the given ports; returns after the first search (which runs
    // on the first event-loop pass, together with the creation of the timer).
    std::unique_ptr<DevicePort> searchedPort(const QList<SerialPortCandidate> &candidates,
                                             int *lostCount = nullptr)
    {
        auto port = std::make_unique<DevicePort>();
        port->setPortLister([candidates] { return candidates; });
        QSignalSpy lost(port.get(), &DevicePort::portLost);
        QDeadlineTimer deadline(kWaitMs);
        while (!port->checkTimer && !deadline.hasExpired())
            QTest::qWait(1);
        if (lostCount)
            *lostCount = static_cast<int>(lost.count());
        return port;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(lineA.isOpen());
        QVERIFY(lineB.isOpen());
    }

    void search_data()
    {
        QTest::addColumn<QString>("layout");
        QTest::addColumn<QString>("openedName");
        QTest::addColumn<int>("lostCount");
        // Layout letters: A and B the two lines, X a path that does not exist; after the letter
        // "vp" both identifiers, "p" the product only, "v" the vendor only.
        QTest::newRow("first of two instruments") << "Avp Bvp"
                                                  << "A" << 0;
        QTest::newRow("product without vendor is skipped") << "Ap Bvp"
                                                           << "B" << 0;
        QTest::newRow("vendor without product is skipped") << "Av Bvp"
                                                           << "B" << 0;
        QTest::newRow("a port that fails to open is passed over") << "Xvp Bvp"
                                                                  << "B" << 1;
        QTest::newRow("nothing opens") << "Xvp Ap"
                                       << "" << 2;
        QTest::newRow("no ports") << ""
                                  << "" << 1;
    }

    void search()
    {
        QFETCH(QString, layout);
        QFETCH(QString, openedName);
        QFETCH(int, lostCount);
        QList<SerialPortCandidate> candidates;
        for (const QString &entry : layout.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            const QChar which = entry.at(0);
            const QString path = which == QLatin1Char('A') ? lineA.slavePath()
                : which == QLatin1Char('B')                ? lineB.slavePath()
                                                           : QStringLiteral("/nonexistent/tty");
            candidates.append({QString(which), path, entry.contains(QLatin1Char('v')),
                               entry.contains(QLatin1Char('p'))});
        }
        int lost = -1;
        auto port = searchedPort(candidates, &lost);
        QCOMPARE(port->isOpen(), !openedName.isEmpty());
        QCOMPARE(QString::fromStdString(port->portName), openedName);
        QCOMPARE(lost, lostCount);
    }

    void searchRepeatsUntilThePortAppears()
    {
        QString path = QStringLiteral("/nonexistent/tty");
        auto port = std::make_unique<DevicePort>();
        port->setPortLister([&path] {
            return QList<SerialPortCandidate> {{QStringLiteral("x"), path, true, true}};
        });
        QSignalSpy lost(port.get(), &DevicePort::portLost);
        QSignalSpy opened(port.get(), &DevicePort::portOpened);
        QVERIFY(lost.wait(kWaitMs));
        path = lineA.slavePath();
        QVERIFY(opened.wait(DevicePort::kSearchIntervalMs + 1000));
        QVERIFY(port->isOpen());
    }

    void environmentNamesThePorts()
    {
        qputenv(DevicePort::kPortsVariable, "/dev/first:/tmp/second::");
        const QList<SerialPortCandidate> ports = DevicePort::defaultPortList();
        qunsetenv(DevicePort::kPortsVariable);
        QCOMPARE(ports.size(), 2);
        QCOMPARE(ports[0].systemLocation, QStringLiteral("/dev/first"));
        QCOMPARE(ports[1].systemLocation, QStringLiteral("/tmp/second"));
        QVERIFY(ports[1].hasVendorIdentifier && ports[1].hasProductIdentifier);
    }

    void writeBeforeThePortExists()
    {
        DevicePort port;
        QSignalSpy lost(&port, &DevicePort::portLost);
        QVERIFY(!port.serialPort);
        port.write(std::string("CP"));
        QCOMPARE(lost.count(), 1);
        QVERIFY(port.txQueue.isEmpty());
    }

    void commandsGoOutInOrder()
    {
        auto port = searchedPort({{QStringLiteral("A"), lineA.slavePath(), true, true}});
        QVERIFY(port->isOpen());
        lineA.readAvailable();
        port->write(std::string("CP"));
        port->write(QByteArray());
        port->write(std::string("CM"));
        port->write(QByteArray("O\x00\x01", 3));
        port->write(std::string("PS1"));
        // The panels and the terminal write literals.
        port->write("Cq");
        QCOMPARE(readLine(lineA, 12), QByteArray("CPCMO\x00\x01PS1Cq", 12));
        // The queue is idle again: a later command goes out on its own.
        QTRY_VERIFY_WITH_TIMEOUT(!port->writing, kWaitMs);
        port->write(std::string("CT"));
        QCOMPARE(readLine(lineA, 2), QByteArray("CT"));
    }

    void receivedBytesAreParsedWithoutLocks()
    {
        auto port = searchedPort({{QStringLiteral("A"), lineA.slavePath(), true, true}});
        QVERIFY(port->isOpen());
        QByteArray parsed;
        bool rxFree = false;
        connect(port.get(), &DevicePort::parseIncomingData, this, [&] {
            rxFree = port->rxMutex.tryLock();
            if (rxFree)
                port->rxMutex.unlock();
            parsed += port->takeBytes(port->available());
        });
        QVERIFY(lineA.writeAll("hello"));
        QTRY_COMPARE_WITH_TIMEOUT(parsed, QByteArray("hello"), kWaitMs);
        QVERIFY(rxFree);
    }

    // The parser set on the link sees every read first; parseIncomingData reaches whoever is
    // connected at the time, however receivers come and go.
    void parserAndParseSignalSeeEveryRead()
    {
        DevicePort port;
        QByteArray order;
        port.setParser([&] { order += 'p'; });
        port.receive("a");
        const auto connection = connect(&port, &DevicePort::parseIncomingData, this,
                                        [&] { order += QByteArray::number(port.available()); });
        port.receive("b");
        disconnect(connection);
        port.receive("c");
        {
            QObject context;
            connect(&port, &DevicePort::parseIncomingData, &context, [&] { order += 's'; });
            port.receive("d");
        }
        port.receive("e");
        QSignalSpy spy(&port, &DevicePort::parseIncomingData);
        port.receive("f");
        QCOMPARE(order, QByteArray("pp2ppspp"));
        QCOMPARE(spy.count(), 1);
        QCOMPARE(port.available(), 6);
    }

    void takeOperations()
    {
        DevicePort port;
        QCOMPARE(port.takeChar(), '\0');
        QCOMPARE(port.takeByte(), quint8(0));
        QCOMPARE(port.available(), 0);
        port.receive(QByteArray("\xfe"
                                "abcd",
                                5));
        QCOMPARE(port.byteAt(0), quint8(0xfe));
        QCOMPARE(port.takeByte(), quint8(0xfe));
        QCOMPARE(port.takeString(20), std::string("abcd"));
        QCOMPARE(port.available(), 0);
        port.receive("xyz");
        QCOMPARE(port.takeBytes(2), QByteArray("xy"));
        QCOMPARE(port.takeChar(), 'z');
    }

    void bufferStaysSmallWhenConsumedAsItArrives()
    {
        DevicePort port;
        connect(&port, &DevicePort::parseIncomingData, this, [&] {
            while (port.available() >= 4)
                port.skip(4);
        });
        int largest = 0;
        for (int i = 0; i < 100000; ++i) {
            port.receive(QByteArray(7, 'x'));
            largest = qMax(largest, port.rxBuffer.size());
        }
        QVERIFY2(largest < 64, qPrintable(QString::number(largest)));
    }

    void errors_data()
    {
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("lost");
        QTest::newRow("timeout") << int(QSerialPort::TimeoutError) << false;
        QTest::newRow("no error") << int(QSerialPort::NoError) << false;
        QTest::newRow("resource") << int(QSerialPort::ResourceError) << true;
        QTest::newRow("read") << int(QSerialPort::ReadError) << true;
    }

    void errors()
    {
        QFETCH(int, code);
        QFETCH(bool, lost);
        auto port = searchedPort({{QStringLiteral("A"), lineA.slavePath(), true, true}});
        QVERIFY(port->isOpen());
        port->receive("half a packet");
        bool locksFree = false;
        connect(port.get(), &DevicePort::portLost, this, [&] {
            // A receiver may take the link's locks and write (the write reports the loss again).
            locksFree = port->txMutex.tryLock() && port->rxMutex.tryLock();
            if (locksFree) {
                port->rxMutex.unlock();
                port->txMutex.unlock();
            }
        });
        QSignalSpy lostSpy(port.get(), &DevicePort::portLost);
        port->error(static_cast<QSerialPort::SerialPortError>(code));
        QCOMPARE(lostSpy.count(), lost ? 1 : 0);
        QCOMPARE(port->isOpen(), !lost);
        QCOMPARE(port->available(), lost ? 0 : 13);
        if (lost) {
            QVERIFY(locksFree);
            QVERIFY(!port->writing);
            QVERIFY(port->txQueue.isEmpty());
        }
    }
};

QTEST_GUILESS_MAIN(TestDevicePort)
#include "tst_DevicePort.moc"
