#include "platform/interruption.h"

#include <errno.h>
#include <signal.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "platform/posix/readiness.h"
#include "platform/posix/signals.h"

namespace tovren {

namespace {

// The requests to stop: interrupt, terminate, hang-up and quit, whether from the
// user or the system, and a CPU-time limit reached, which gives the run a few
// seconds more to end in order.
constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP, SIGQUIT, SIGXCPU};

// The last stop signal that arrived, and whether a request to suspend has.
volatile std::sig_atomic_t arrived = 0, suspension = 0;

void noteInterruption(int signal) { arrived = signal; }

void noteSuspension(int) { suspension = 1; }

// Only wakes a wait for a child.
void noteChild(int) {}

// What catchInterruptions set up: the mask a wait unblocks them with, and the
// stop signals left ignored.
struct Caught {
  bool set = false;
  sigset_t waiting, ignored;
};
Caught caught;

// Raises the system's error for a call that reported `result`; the error number
// is read before the description of `signal`, if any, is made, which may allocate.
void check(int result, const char* what, int signal = 0) {
  if (result == 0) return;
  int code = errno;
  // Appended, not prepended to a temporary: GCC 12 warns of the insert that
  // "text" + std::string makes (-Wrestrict), wrongly.
  std::string call(what);
  if (signal) call.append(" ").append(described(signal));
  throwSystemError(call.c_str(), "", code);
}

void handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = signal == SIGCHLD ? SA_NOCLDSTOP : 0;
  check(sigemptyset(&action.sa_mask), "Could not catch", signal);
  check(::sigaction(signal, &action, nullptr), "Could not catch", signal);
}

sigset_t only(int signal) {
  sigset_t set;
  sigemptyset(&set), sigaddset(&set, signal);
  return set;
}

// A signal whose default action leaves a core file: a run it stopped ends with
// the status alone.
bool leavesCore(int signal) { return signal == SIGQUIT || signal == SIGXCPU; }

}  // namespace

std::string described(int signal) {
  return "signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
}

void catchInterruptions() {
  sigset_t blocked;
  sigemptyset(&blocked), sigemptyset(&caught.ignored);
  for (int signal : stopSignals) {
    struct sigaction before {};
    check(::sigaction(signal, nullptr, &before), "Could not examine", signal);
    if (before.sa_handler == SIG_IGN) {
      sigaddset(&caught.ignored, signal);
      continue;
    }
    handle(signal, noteInterruption);
    sigaddset(&blocked, signal);
  }
  // A handler, so that a wait wakes when a child ends. Started with SIGCHLD
  // ignored, as some launchers leave it, the children would instead be reaped by
  // the system and never found by waitpid.
  handle(SIGCHLD, noteChild);
  sigaddset(&blocked, SIGCHLD);
  sigset_t before;
  check(::sigprocmask(SIG_BLOCK, &blocked, &before), "Could not block the stop signals");
  // Whatever mask the program was started with, a wait wakes for these.
  caught.waiting = before;
  for (int signal : stopSignals)
    if (sigismember(&blocked, signal)) sigdelset(&caught.waiting, signal);
  sigdelset(&caught.waiting, SIGCHLD);
  caught.set = true;
}

bool waitForSignal(int descriptor, short events, std::optional<std::chrono::milliseconds> timeout,
                   const std::string& what) {
  timespec time{};
  if (timeout) {
    time.tv_sec = static_cast<time_t>(timeout->count() / 1000);
    time.tv_nsec = static_cast<long>(timeout->count() % 1000 * 1000000);
  }
  // Before the signals are caught, the wait keeps the mask as it is.
  sigset_t mask = caught.waiting;
  if (!caught.set) check(::sigprocmask(SIG_BLOCK, nullptr, &mask), what.c_str());
  int ready = waitReady(descriptor, events, timeout ? &time : nullptr, &mask);
  if (ready < 0 && errno != EINTR) throwSystemError(what.c_str(), "", errno);
  return ready > 0;
}

bool interrupted() {
  // A signal that arrived while blocked is handled now: the wait returns at once.
  sigset_t pending;
  if (caught.set && ::sigpending(&pending) == 0)
    for (int signal : stopSignals)
      if (sigismember(&pending, signal) && !sigismember(&caught.waiting, signal)) {
        ::sigsuspend(&caught.waiting);
        break;
      }
  return arrived != 0;
}

int interruption() { return arrived; }

std::string interruptionText() { return "Setup was interrupted by " + described(arrived) + "."; }

void raiseIfInterrupted() {
  if (interrupted()) throw Interrupted(arrived, interruptionText());
}

void end(int status) {
  int signal = arrived;
  if (signal && status == 128 + signal && !leavesCore(signal)) {
    struct sigaction byDefault {};
    byDefault.sa_handler = SIG_DFL;
    sigset_t unblocked = only(signal);
    if (sigemptyset(&byDefault.sa_mask) == 0 && ::sigaction(signal, &byDefault, nullptr) == 0) {
      ::raise(signal);
      ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
    }
  }
  std::exit(status);
}

sigset_t defaultInChildren() {
  sigset_t signals;
  sigfillset(&signals);
  if (caught.set)
    for (int signal : stopSignals)
      if (sigismember(&caught.ignored, signal)) sigdelset(&signals, signal);
  return signals;
}

SuspensionsNoted::SuspensionsNoted() {
  check(::sigaction(SIGTSTP, nullptr, &before_), "Could not examine", SIGTSTP);
  if (before_.sa_handler == SIG_IGN) return;
  suspension = 0;
  handle(SIGTSTP, noteSuspension);
  noted_ = true;
  sigset_t blocked = only(SIGTSTP);
  check(::sigprocmask(SIG_BLOCK, &blocked, nullptr), "Could not block", SIGTSTP);
}

SuspensionsNoted::~SuspensionsNoted() {
  if (!noted_) return;
  // A request that came as the child ended stops the program now.
  try {
    if (suspensionRequested()) suspend();
  } catch (const PlatformError&) {
  }
  sigset_t unblocked = only(SIGTSTP);
  ::sigaction(SIGTSTP, &before_, nullptr);
  if (!sigismember(&caught.waiting, SIGTSTP)) ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
}

bool suspensionRequested() {
  bool requested = suspension != 0;
  suspension = 0;
  return requested;
}

void suspend() {
  struct sigaction byDefault {
  }, before{};
  byDefault.sa_handler = SIG_DFL;
  sigset_t unblocked = only(SIGTSTP);
  check(sigemptyset(&byDefault.sa_mask), "Could not suspend on", SIGTSTP);
  check(::sigaction(SIGTSTP, &byDefault, &before), "Could not suspend on", SIGTSTP);
  // Blocked, it waits until let in: the program stops there, until continued.
  ::raise(SIGTSTP);
  ::sigprocmask(SIG_UNBLOCK, &unblocked, nullptr);
  ::sigprocmask(SIG_BLOCK, &unblocked, nullptr);
  check(::sigaction(SIGTSTP, &before, nullptr), "Could not catch", SIGTSTP);
}

}  // namespace tovren
