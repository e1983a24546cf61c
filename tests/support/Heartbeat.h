#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

namespace testsupport {

// Measures how long the GUI thread's event loop stops answering: a precise timer ticks every
// few milliseconds and the longest gap between two ticks, less the interval, is the longest
// stall. Start it before a scenario and read `longestStallMs` after it:
//
//     Heartbeat heartbeat;
//     ... the scenario, waiting with QTRY_ / QSignalSpy::wait ...
//     QVERIFY2(heartbeat.longestStallMs() < 400, ...);
class Heartbeat : public QObject
{
public:
    explicit Heartbeat(int intervalMs = 5, QObject *parent = nullptr);

    void restart();
    void stop() { m_timer.stop(); }
    qint64 longestStallMs() const;
    int ticks() const { return m_ticks; }

private:
    void tick();

    int m_interval;
    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longestGap = 0;
    int m_ticks = 0;
};

} // namespace testsupport
