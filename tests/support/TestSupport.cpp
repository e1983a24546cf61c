#include "support/TestSupport.h"

#include <QDir>
#include <QFile>
#include <QMutex>

#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <grp.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

namespace testsupport {

ScratchDir::ScratchDir()
    : m_previous(QDir::currentPath())
{
    if (m_dir.isValid())
        QDir::setCurrent(m_dir.path());
}

ScratchDir::~ScratchDir()
{
    QDir::setCurrent(m_previous);
}

bool relativelyEqual(double actual, double expected, double rel, double abs)
{
    if (std::isnan(actual) || std::isnan(expected))
        return std::isnan(actual) && std::isnan(expected);
    return std::fabs(actual - expected) <= rel * std::fabs(expected) + abs;
}

QString relativeMismatchText(double actual, double expected, double rel, double abs)
{
    return QStringLiteral("actual %1, expected %2 (relative tolerance %3, absolute %4)")
        .arg(actual, 0, 'g', 17)
        .arg(expected, 0, 'g', 17)
        .arg(rel)
        .arg(abs);
}

namespace {
struct CollectorState
{
    QMutex mutex;
    QtMessageHandler previous = nullptr;
    QList<QRegularExpression> allowed;
    QStringList collected;
    bool active = false;
};

CollectorState &state()
{
    static CollectorState s;
    return s;
}
} // namespace

WarningCollector::WarningCollector()
{
    CollectorState &s = state();
    QMutexLocker locker(&s.mutex);
    s.allowed.clear();
    s.collected.clear();
    s.active = true;
    s.previous = qInstallMessageHandler(&WarningCollector::handler);
}

WarningCollector::~WarningCollector()
{
    CollectorState &s = state();
    qInstallMessageHandler(s.previous);
    QMutexLocker locker(&s.mutex);
    s.active = false;
}

void WarningCollector::allow(const QRegularExpression &pattern)
{
    CollectorState &s = state();
    QMutexLocker locker(&s.mutex);
    s.allowed.append(pattern);
}

QStringList WarningCollector::unexpected() const
{
    CollectorState &s = state();
    QMutexLocker locker(&s.mutex);
    return s.collected;
}

void WarningCollector::handler(QtMsgType type, const QMessageLogContext &context,
                               const QString &text)
{
    CollectorState &s = state();
    QtMessageHandler previous = nullptr;
    {
        QMutexLocker locker(&s.mutex);
        previous = s.previous;
        if (s.active && (type == QtWarningMsg || type == QtCriticalMsg)) {
            bool allowed = false;
            for (const QRegularExpression &pattern : qAsConst(s.allowed))
                allowed = allowed || pattern.match(text).hasMatch();
            if (!allowed)
                s.collected.append(text);
        }
    }
    if (previous)
        previous(type, context, text);
}

ChildResult runWithFileSizeLimit(qint64 maxFileSize, const std::function<bool()> &body)
{
    ChildLimits limits;
    limits.maxFileSize = maxFileSize;
    return runInChild(limits, body);
}

namespace {

// The bytes the process has mapped now.
qint64 mappedBytes()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    return statm.readAll().split(' ').value(0).toLongLong() * ::sysconf(_SC_PAGESIZE);
}

// Takes every block the allocator can give, then gives back `left` bytes of them (see
// ChildLimits::memoryLeft). The blocks are never touched beyond their headers.
void takeMemoryLeaving(qint64 left)
{
    constexpr size_t kLarge = 256 << 10;
    constexpr size_t kSmall = 4 << 10;
    constexpr size_t kMostBlocks = 1 << 20;
    auto *blocks = new std::vector<void *>();
    blocks->reserve(kMostBlocks);
    while (blocks->size() < kMostBlocks) {
        void *block = std::malloc(kLarge);
        if (!block)
            break;
        blocks->push_back(block);
    }
    const size_t large = blocks->size();
    // The gaps that no large block fits in.
    while (blocks->size() < kMostBlocks) {
        void *block = std::malloc(kSmall);
        if (!block)
            break;
        blocks->push_back(block);
    }
    for (size_t i = large; i-- > 0 && left > 0; left -= qint64(kLarge))
        std::free((*blocks)[i]);
}

bool applyLimits(const ChildLimits &limits)
{
    if (limits.maxFileSize >= 0) {
        if (limits.ignoreFileSizeSignal)
            std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit {rlim_t(limits.maxFileSize), rlim_t(limits.maxFileSize)};
        if (::setrlimit(RLIMIT_FSIZE, &limit) != 0)
            return false;
    }
    if (limits.addressSpaceHeadroom >= 0) {
        const rlim_t size = rlim_t(mappedBytes() + limits.addressSpaceHeadroom);
        const rlimit limit {size, size};
        if (::setrlimit(RLIMIT_AS, &limit) != 0)
            return false;
        if (limits.memoryLeft >= 0)
            takeMemoryLeaving(limits.memoryLeft);
    }
    if (limits.unprivileged && ::geteuid() == 0) {
        // 65534: "nobody".
        if (::setgroups(0, nullptr) != 0 || ::setgid(65534) != 0 || ::setuid(65534) != 0)
            return false;
    }
    return true;
}

} // namespace

ChildResult runInChild(const ChildLimits &limits, const std::function<bool()> &body)
{
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return ChildResult::Crashed;
    if (child == 0) {
        if (!applyLimits(limits))
            ::_exit(3);
        // _exit: the child leaves without running the parent's exit handlers twice.
        ::_exit(body() ? 0 : 1);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) { }
    if (!WIFEXITED(status) || WEXITSTATUS(status) > 1)
        return ChildResult::Crashed;
    return WEXITSTATUS(status) == 0 ? ChildResult::True : ChildResult::False;
}

} // namespace testsupport
