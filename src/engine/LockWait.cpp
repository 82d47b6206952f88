#include "engine/LockWait.h"

#include <atomic>

namespace engine {

namespace {

std::atomic<int> g_busyTimeout{5000};
std::atomic<LockWaitHook> g_lockWaitHook{nullptr};

} // namespace

void setBusyTimeout(int milliseconds)
{
    g_busyTimeout = milliseconds;
}

int busyTimeout()
{
    return g_busyTimeout;
}

void setLockWaitHook(LockWaitHook hook)
{
    g_lockWaitHook = hook;
}

LockWaitHook lockWaitHook()
{
    return g_lockWaitHook.load();
}

} // namespace engine
