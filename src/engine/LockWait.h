#pragma once

namespace engine {

// How every engine waits for another program's lock: the settings and the
// hook are the process's, shared by every connection, and read afresh by each
// wait.

// How long a statement, an open or a copy waits for another program's lock
// before it fails. The default of five seconds outlasts the product's own
// short writes.
void setBusyTimeout(int milliseconds);
int busyTimeout();

// Called on the waiting thread, about every 50 ms while a statement, an open
// or a copy waits for another program's lock, so that a window can show the
// wait and repaint; none (nullptr) by default.
using LockWaitHook = void (*)();
void setLockWaitHook(LockWaitHook hook);
LockWaitHook lockWaitHook();

} // namespace engine
