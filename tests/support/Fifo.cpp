#include "support/Fifo.h"

#include <QFile>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace testsupport {

Fifo::Fifo()
    : m_path(m_dir.filePath(QStringLiteral("pipe.txt")))
{
    m_valid = m_dir.isValid() && ::mkfifo(QFile::encodeName(m_path).constData(), 0600) == 0;
}

bool Fifo::returnsInTime(const std::function<void()> &body, int timeoutMs) const
{
    std::mutex mutex;
    std::condition_variable changed;
    bool done = false;
    bool released = false;
    const QByteArray name = QFile::encodeName(m_path);
    std::thread releaser([&] {
        std::unique_lock<std::mutex> lock(mutex);
        if (changed.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return done; }))
            return;
        released = true;
        // A writer that opens and closes again lets a reader blocked in its open go on, and the
        // reader then meets the end of the pipe.
        while (!done) {
            const int writer = ::open(name.constData(), O_WRONLY | O_NONBLOCK | O_CLOEXEC);
            if (writer >= 0)
                ::close(writer);
            changed.wait_for(lock, std::chrono::milliseconds(20), [&] { return done; });
        }
    });
    body();
    {
        std::lock_guard<std::mutex> lock(mutex);
        done = true;
    }
    changed.notify_all();
    releaser.join();
    return !released;
}

} // namespace testsupport
