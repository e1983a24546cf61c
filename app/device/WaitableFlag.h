#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <mutex>

// A boolean that one thread sets and clears while others read it or wait for it to clear.
// Reads and writes are atomic; clearing it (or `wakeAll`) wakes the waiters at once, so a waiting
// thread does not have to poll.
class WaitableFlag
{
public:
    WaitableFlag() = default;
    WaitableFlag(const WaitableFlag &) = delete;
    WaitableFlag &operator=(const WaitableFlag &) = delete;

    WaitableFlag &operator=(bool value)
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            m_value.store(value);
        }
        m_changed.notify_all();
        return *this;
    }
    operator bool() const { return m_value.load(); }

    // Waits until the flag is clear, `stop` returns true, `wakeAll` is called or the timeout
    // passes; returns the flag's value at the end.
    template<typename Stop>
    bool waitWhileSet(std::chrono::milliseconds timeout, Stop stop)
    {
        std::unique_lock<std::mutex> locker(m_mutex);
        const std::uint64_t wakes = m_wakes;
        m_changed.wait_for(locker, timeout,
                           [&] { return !m_value.load() || stop() || m_wakes != wakes; });
        return m_value.load();
    }

    // Wakes every waiter so that it checks its stop condition again.
    void wakeAll()
    {
        {
            const std::lock_guard<std::mutex> locker(m_mutex);
            ++m_wakes;
        }
        m_changed.notify_all();
    }

private:
    std::atomic<bool> m_value {false};
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::uint64_t m_wakes = 0;
};
