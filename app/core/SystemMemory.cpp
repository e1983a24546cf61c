#include "core/SystemMemory.h"

#include <QFile>

#include <algorithm>

#if defined(Q_OS_WIN)
#include <windows.h>
#elif defined(Q_OS_UNIX)
#include <sys/resource.h>
#include <unistd.h>
#endif

namespace {

#if defined(Q_OS_LINUX)
// "MemAvailable" of /proc/meminfo: what new allocations can take without swapping.
qint64 linuxAvailable()
{
    QFile meminfo(QStringLiteral("/proc/meminfo"));
    if (!meminfo.open(QIODevice::ReadOnly))
        return -1;
    const QList<QByteArray> lines = meminfo.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line.startsWith("MemAvailable:")) {
            bool ok = false;
            const qint64 kib = line.mid(13).trimmed().split(' ').value(0).toLongLong(&ok);
            return ok ? kib * 1024 : -1;
        }
    }
    return -1;
}

// The bytes the process has mapped now.
qint64 mappedBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return -1;
    bool ok = false;
    const qint64 pages = statm.readAll().split(' ').value(0).toLongLong(&ok);
    return ok ? pages * ::sysconf(_SC_PAGESIZE) : -1;
}

// Keeps the smaller of two amounts, where -1 means unknown.
qint64 smallerKnown(qint64 a, qint64 b)
{
    if (a < 0)
        return b;
    if (b < 0)
        return a;
    return std::min(a, b);
}
#endif

} // namespace

qint64 availableMemoryBytes()
{
#if defined(Q_OS_WIN)
    MEMORYSTATUSEX status;
    status.dwLength = sizeof status;
    if (!GlobalMemoryStatusEx(&status))
        return -1;
    return qint64(std::min(status.ullAvailPhys, status.ullAvailVirtual));
#elif defined(Q_OS_UNIX)
    qint64 available = -1;
#if defined(Q_OS_LINUX)
    available = linuxAvailable();
    rlimit limit {};
    if (::getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY) {
        const qint64 mapped = mappedBytes();
        if (mapped >= 0)
            available
                = smallerKnown(available, std::max<qint64>(0, qint64(limit.rlim_cur) - mapped));
    }
#endif
#if defined(_SC_AVPHYS_PAGES)
    if (available < 0)
        available = qint64(::sysconf(_SC_AVPHYS_PAGES)) * ::sysconf(_SC_PAGESIZE);
#endif
    return available;
#else
    return -1;
#endif
}
