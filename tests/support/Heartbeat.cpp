#include "support/Heartbeat.h"

#include <algorithm>

namespace testsupport {

Heartbeat::Heartbeat(int intervalMs, QObject *parent)
    : QObject(parent)
    , m_interval(intervalMs)
{
    m_timer.setTimerType(Qt::PreciseTimer);
    m_timer.setInterval(intervalMs);
    connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    restart();
}

void Heartbeat::restart()
{
    m_clock.start();
    m_last = 0;
    m_longestGap = 0;
    m_ticks = 0;
    m_timer.start();
}

void Heartbeat::tick()
{
    const qint64 now = m_clock.elapsed();
    m_longestGap = std::max(m_longestGap, now - m_last);
    m_last = now;
    ++m_ticks;
}

qint64 Heartbeat::longestStallMs() const
{
    // The time since the last tick counts as well: a stall that is still going on.
    const qint64 pending = m_timer.isActive() ? m_clock.elapsed() - m_last : 0;
    const qint64 gap = std::max(m_longestGap, pending);
    return std::max<qint64>(0, gap - m_interval);
}

} // namespace testsupport
