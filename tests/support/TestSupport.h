#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>

namespace testsupport {

// A fresh temporary folder that is the working directory while the object lives.
class ScratchDir
{
public:
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir &) = delete;
    ScratchDir &operator=(const ScratchDir &) = delete;

    QString path() const { return m_dir.path(); }
    QString filePath(const QString &name) const { return m_dir.filePath(name); }
    bool isValid() const { return m_dir.isValid(); }

private:
    QTemporaryDir m_dir;
    QString m_previous;
};

// True when |actual - expected| <= rel * |expected| + abs.
bool relativelyEqual(double actual, double expected, double rel, double abs = 0.0);
QString relativeMismatchText(double actual, double expected, double rel, double abs);

// Collects the Qt warnings and critical messages sent while it lives (they still reach the
// previous handler). Messages matching an allowed pattern are not collected.
class WarningCollector
{
public:
    WarningCollector();
    ~WarningCollector();
    WarningCollector(const WarningCollector &) = delete;
    WarningCollector &operator=(const WarningCollector &) = delete;

    void allow(const QRegularExpression &pattern);
    QStringList unexpected() const;

private:
    static void handler(QtMsgType type, const QMessageLogContext &context, const QString &text);
};

// Runs `body` in a forked child process whose files may grow to at most `maxFileSize` bytes: a
// write past the limit fails (EFBIG) instead of ending the child. The result of the body, or
// Crashed when the child did not return from it.
enum class ChildResult { True, False, Crashed };
ChildResult runWithFileSizeLimit(qint64 maxFileSize, const std::function<bool()> &body);

// What a child process of runInChild is denied.
struct ChildLimits
{
    // Files may grow to at most this many bytes; no limit when negative.
    qint64 maxFileSize = -1;
    // The test ignores SIGXFSZ for the code under test; when false, a write past the limit ends
    // the child (Crashed) unless the code itself makes the write fail instead.
    bool ignoreFileSizeSignal = true;
    // The child may map at most this many bytes beyond what it has mapped at the fork; no limit
    // when negative.
    qint64 addressSpaceHeadroom = -1;
    // With an address-space headroom: the child takes up every block the allocator can still
    // give (in mappings, and in the room its heaps reserved or freed before the fork) and gives
    // back about this many bytes before the body runs, so that the body has this much memory
    // however the allocator keeps its room. Not taken when negative.
    qint64 memoryLeft = -1;
    // The child gives up the rights of root (it runs as the user "nobody"), so that file and
    // folder permissions bind it.
    bool unprivileged = false;
};
// Whether an allocation that fails under a memory limit reaches the code under test (as a null
// pointer or std::bad_alloc). The address sanitizer's allocator ends the process instead, and
// keeps freed memory in quarantine: tests that run code into a memory limit are skipped there.
#if defined(__SANITIZE_ADDRESS__)
inline constexpr bool kAllocationFailuresReachTheCode = false;
#else
inline constexpr bool kAllocationFailuresReachTheCode = true;
#endif

// Runs `body` in a forked child process with `limits`; the result as for runWithFileSizeLimit.
// Only the calling thread exists in the child: the body must not wait for other threads.
ChildResult runInChild(const ChildLimits &limits, const std::function<bool()> &body);

} // namespace testsupport

// Compares two doubles with a relative (and optional absolute) tolerance.
#define COMPARE_REL(actual, expected, rel)                                                         \
    do {                                                                                           \
        const double a_ = (actual);                                                                \
        const double e_ = (expected);                                                              \
        if (!testsupport::relativelyEqual(a_, e_, (rel)))                                          \
            QFAIL(qPrintable(testsupport::relativeMismatchText(a_, e_, (rel), 0.0)));              \
    } while (false)

#define COMPARE_TOL(actual, expected, rel, abs)                                                    \
    do {                                                                                           \
        const double a_ = (actual);                                                                \
        const double e_ = (expected);                                                              \
        if (!testsupport::relativelyEqual(a_, e_, (rel), (abs)))                                   \
            QFAIL(qPrintable(testsupport::relativeMismatchText(a_, e_, (rel), (abs))));            \
    } while (false)

// Fails the current test when a Qt warning that was not allowed was sent.
#define VERIFY_NO_WARNINGS(collector)                                                              \
    QVERIFY2((collector).unexpected().isEmpty(),                                                   \
             qPrintable((collector).unexpected().join(QStringLiteral("\n"))))
