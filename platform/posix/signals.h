#pragma once
// The stop signals as the POSIX parts wait for them, defined in interruption.cpp.
// Once caught, they and SIGCHLD stay blocked but while the program waits, so
// none can land between a look at what happened and the wait that follows.

#include <signal.h>

#include <chrono>
#include <optional>
#include <string>

namespace tovren {

// Whether a stop signal has arrived; one waiting to be handled is handled first.
bool interrupted();

// "Setup was interrupted by signal N (its name)." for the signal that arrived.
std::string interruptionText();

// The signal that arrived, or 0.
int interruption();

// Waits until a caught signal has been handled (a stop signal, or a child that
// ended), `descriptor` can be read when it is not negative, or `timeout` has
// passed. Returns whether the descriptor can be read. Raises a PlatformError
// naming `what` when the wait fails.
bool waitForSignal(int descriptor, std::optional<std::chrono::milliseconds> timeout,
                   const std::string& what);

// The signals a child starts with at their default action: every one but the
// stop signals this program was started with ignored.
sigset_t defaultInChildren();

// "signal N (its name)".
std::string described(int signal);

}  // namespace tovren
