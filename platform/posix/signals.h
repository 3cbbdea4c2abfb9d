#pragma once
// The stop signals as the POSIX parts wait for them, defined in interruption.cpp.
// Once caught, they and SIGCHLD stay blocked but while the program waits, so
// none can land between a look at what happened and the wait that follows.
// Before they are caught, no handler of the program's exists. So no handler ever
// runs outside a wait, and no call but the wait itself ends early with EINTR:
// the wait takes it as the wake-up it is, and no other call retries after it.

#include <signal.h>

#include <chrono>
#include <optional>
#include <string>

namespace tovren {

// Whether a stop signal has arrived; one waiting to be handled is handled first.
[[nodiscard]] bool interrupted();

// "Setup was interrupted by signal N (its name)." for the signal that arrived.
std::string interruptionText();

// The signal that arrived, or 0.
int interruption();

// Waits until a caught signal has been handled (a stop signal, a child that
// ended, a request to suspend), `descriptor` is ready for `events` (POLLIN,
// POLLOUT) when it is not negative, or `timeout` has passed. Any descriptor
// number will do. Returns whether the descriptor is ready, or can tell why not
// (an error, a hang-up). Raises a PlatformError naming `what` when the wait fails.
[[nodiscard]] bool waitForSignal(int descriptor, short events,
                                 std::optional<std::chrono::milliseconds> timeout,
                                 const std::string& what);

// The signals a child starts with at their default action: every one but the
// stop signals this program was started with ignored.
sigset_t defaultInChildren();

// "signal N (its name)".
std::string described(int signal);

// While a value lives, a request to suspend the program (Ctrl-Z, SIGTSTP) no
// longer stops it at once: it is noted, and ends a wait, so that the waiter can
// suspend its child's process group with it (suspend). Where the program was
// started with the request ignored, it stays ignored. Raises a PlatformError when
// the system refuses.
class SuspensionsNoted {
 public:
  SuspensionsNoted();
  ~SuspensionsNoted();
  SuspensionsNoted(const SuspensionsNoted&) = delete;
  SuspensionsNoted& operator=(const SuspensionsNoted&) = delete;

 private:
  struct sigaction before_ {};
  bool noted_ = false;
};

// Whether a request to suspend has arrived since the last look.
[[nodiscard]] bool suspensionRequested();

// Stops this process as a request to suspend does by default, until it is
// continued (fg, bg, SIGCONT).
void suspend();

}  // namespace tovren
