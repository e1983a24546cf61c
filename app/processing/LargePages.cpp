#include "processing/LargePages.h"

#include <algorithm>

#if defined(Q_OS_UNIX)
#include <sys/mman.h>
#endif

void adviseLargePages(const void *data, qint64 bytes)
{
#if defined(Q_OS_UNIX) && defined(MADV_HUGEPAGE)
    constexpr quintptr kLargePage = 2 << 20;
    const quintptr begin = quintptr(data);
    const quintptr end = begin + quintptr(std::max<qint64>(bytes, 0));
    const quintptr first = (begin + kLargePage - 1) & ~(kLargePage - 1);
    const quintptr last = end & ~(kLargePage - 1);
    if (last > first)
        ::madvise(reinterpret_cast<void *>(first), last - first, MADV_HUGEPAGE);
#else
    Q_UNUSED(data)
    Q_UNUSED(bytes)
#endif
}
