#include "processing/Cancellation.h"

namespace Algos {
namespace {

thread_local const std::atomic<bool> *t_flag = nullptr;

} // namespace

CancellationScope::CancellationScope(const std::atomic<bool> *flag)
    : m_previous(t_flag)
{
    t_flag = flag;
}

CancellationScope::~CancellationScope()
{
    t_flag = m_previous;
}

bool cancellationRequested()
{
    const std::atomic<bool> *flag = t_flag;
    return flag && flag->load(std::memory_order_relaxed);
}

} // namespace Algos
