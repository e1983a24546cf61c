#pragma once

#include "processing/LargePages.h"

#include <QtGlobal>

// The memory this process can still take for data: the machine's memory that is available now
// (free, or held by caches the system gives back), bounded by the process's own limit on its
// address space where it has one. -1 when the system does not tell.
qint64 availableMemoryBytes();
