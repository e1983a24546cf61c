#pragma once

#include <atomic>

namespace Algos {

// Lets long computations learn that their result is no longer wanted.
//
// A worker that may be asked to stop (a data provider reading a trace) installs its stop flag
// for the current thread with a CancellationScope; the numeric steps it runs poll
// `cancellationRequested()` in their loops and, when it turns true, stop and leave their data as
// they found it. Code that runs outside any scope (the GUI thread re-processing a trace, the
// parameter evaluation) is never cancelled.
class CancellationScope
{
public:
    // flag: set (by any thread) when the work should stop; null installs a scope that never
    // cancels.
    explicit CancellationScope(const std::atomic<bool> *flag);
    ~CancellationScope();
    CancellationScope(const CancellationScope &) = delete;
    CancellationScope &operator=(const CancellationScope &) = delete;

private:
    const std::atomic<bool> *m_previous;
};

// True when the innermost scope of this thread has its flag set.
bool cancellationRequested();

// How many iterations of a cheap loop run between two polls: a poll costs a thread-local read
// and an atomic load, and this many iterations take well under a millisecond.
constexpr int kCancellationPollInterval = 1 << 14;

// True at every kCancellationPollInterval-th index when the scope's flag is set.
inline bool cancellationDue(long long index)
{
    return (index & (kCancellationPollInterval - 1)) == 0 && cancellationRequested();
}

} // namespace Algos
