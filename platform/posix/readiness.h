#pragma once
// A wait for a descriptor and for signals at once, defined in readiness.cpp of the
// system's folder.

#include <signal.h>
#include <time.h>

namespace tovren {

// Waits with the signal mask `mask` in force until a signal is handled,
// `descriptor` (when not negative) is ready for `events` (POLLIN, POLLOUT) or
// tells why it cannot be, or `timeout` (when given) has passed. The mask is set
// and the wait begun as one step, so no signal lands between them, and any
// descriptor number will do. Returns more than 0 when the descriptor is ready, 0
// when the time has passed, and -1 with errno set otherwise (EINTR: a signal).
[[nodiscard]] int waitReady(int descriptor, short events, const timespec* timeout,
                            const sigset_t* mask);

}  // namespace tovren
