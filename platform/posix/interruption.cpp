#include "platform/interruption.h"

#include <errno.h>
#include <signal.h>
#include <sys/select.h>

#include <csignal>
#include <cstring>

#include "platform/posix/signals.h"

namespace tovren {

namespace {

constexpr int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};

// The last stop signal that arrived.
volatile std::sig_atomic_t arrived = 0;

void noteInterruption(int signal) { arrived = signal; }

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
  throwSystemError((what + (signal ? " " + described(signal) : "")).c_str(), "", code);
}

void handle(int signal, void (*handler)(int)) {
  struct sigaction action {};
  action.sa_handler = handler;
  action.sa_flags = signal == SIGCHLD ? SA_NOCLDSTOP : 0;
  check(sigemptyset(&action.sa_mask), "Could not catch", signal);
  check(::sigaction(signal, &action, nullptr), "Could not catch", signal);
}

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
  for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGCHLD})
    if (sigismember(&blocked, signal)) sigdelset(&caught.waiting, signal);
  caught.set = true;
}

bool waitForSignal(int descriptor, std::optional<std::chrono::milliseconds> timeout,
                   const std::string& what) {
  fd_set readable;
  FD_ZERO(&readable);
  if (descriptor >= 0) FD_SET(descriptor, &readable);
  timespec time{};
  if (timeout) {
    time.tv_sec = static_cast<time_t>(timeout->count() / 1000);
    time.tv_nsec = static_cast<long>(timeout->count() % 1000 * 1000000);
  }
  // Before the signals are caught, the wait keeps the mask as it is.
  sigset_t mask = caught.waiting;
  if (!caught.set) check(::sigprocmask(SIG_BLOCK, nullptr, &mask), what.c_str());
  int ready = ::pselect(descriptor + 1, descriptor >= 0 ? &readable : nullptr, nullptr, nullptr,
                        timeout ? &time : nullptr, &mask);
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

sigset_t defaultInChildren() {
  sigset_t signals;
  sigfillset(&signals);
  if (caught.set)
    for (int signal : stopSignals)
      if (sigismember(&caught.ignored, signal)) sigdelset(&signals, signal);
  return signals;
}

}  // namespace tovren
