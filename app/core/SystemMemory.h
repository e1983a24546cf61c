#pragma once

#include <QtGlobal>

// The memory this process can still take for data: the machine's memory that is available now
// (free, or held by caches the system gives back), bounded by the process's own limit on its
// address space where it has one. -1 when the system does not tell.
qint64 availableMemoryBytes();

// Offers large pages for the whole large pages inside [data, data + bytes), before they are first
// touched: a fresh block of many megabytes is then faulted in a few hundred times instead of
// tens of thousands of times (where the system has large pages on request; nothing otherwise).
void adviseLargePages(const void *data, qint64 bytes);
