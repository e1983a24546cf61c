#pragma once

#include <QtGlobal>

// Offers large pages for the whole large pages inside [data, data + bytes), before they are first
// touched: a fresh block of many megabytes is then faulted in a few hundred times instead of
// tens of thousands of times (where the system has large pages on request; nothing otherwise).
void adviseLargePages(const void *data, qint64 bytes);
