#include "platform/Platform.h"

#include <QtGlobal>

// The icon bundle is compiled into the program's library; a library's resources are registered
// by hand. These two functions live outside any namespace, as Q_INIT_RESOURCE requires.

namespace {
bool &registered()
{
    static bool done = false;
    return done;
}
} // namespace

int initIconResources()
{
    if (!registered()) {
        Q_INIT_RESOURCE(icons);
        registered() = true;
    }
    return 1;
}

int cleanupIconResources()
{
    if (registered()) {
        Q_CLEANUP_RESOURCE(icons);
        registered() = false;
    }
    return 1;
}

namespace {
// Registered before main runs and unregistered after it returns. setupPlatform calls
// initIconResources as well, which keeps this file in every program that sets itself up.
struct IconBundle
{
    IconBundle() { initIconResources(); }
    ~IconBundle() { cleanupIconResources(); }
} iconBundle;
} // namespace
