#pragma once

// The fake host's local server, as the running-object table knows it.

#include <windows.h>

#include <oaidl.h>

namespace kw::test {

// The running instance, or null; the caller releases it.
IDispatch* RunningFake();

// Asks a running instance to quit and waits until it has left the table.
void QuitRunningFake();

// Quits the running fake when the test ends, however it ends.
struct RunningFakeGuard {
    RunningFakeGuard() { QuitRunningFake(); }
    ~RunningFakeGuard() { QuitRunningFake(); }
};

} // namespace kw::test
