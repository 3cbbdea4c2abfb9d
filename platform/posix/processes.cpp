#include "platform/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/posix/spawn.h"
#include "support/error.h"

extern char** environ;

namespace tovren {

namespace {

// Owns the spawn file actions and attributes for the length of one launch.
class SpawnSettings {
 public:
  explicit SpawnSettings(const std::string& program) : program_(program) {
    check(posix_spawn_file_actions_init(&actions_));
    if (int code = posix_spawnattr_init(&attributes_)) {
      posix_spawn_file_actions_destroy(&actions_);
      check(code);
    }
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;
  posix_spawn_file_actions_t* actions() { return &actions_; }
  posix_spawnattr_t* attributes() { return &attributes_; }
  // Raises the error a setting reports, as one that keeps the program from
  // starting.
  void check(int code) const {
    if (code != 0) throwSystemError("Could not start", program_, code);
  }

 private:
  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  const std::string& program_;
};

// The last signal that asked the run to stop, once catchInterruptions was called.
volatile std::sig_atomic_t interruption = 0;

void noteInterruption(int signal) { interruption = signal; }

// Only wakes the wait for a child.
void noteChild(int) {}

// The termination status of a child whose status waitpid gave as `waitStatus`:
// its exit status, or 128 + N when signal N ended it.
int terminationStatus(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

// "signal N (its name)".
std::string described(int signal) {
  return "signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
}

void raiseIfInterrupted() {
  if (int signal = interruption)
    throw Interrupted(signal, "Setup was interrupted by " + described(signal) + ".");
}

// The signals a wait for a child wakes for, blocked while the scope lasts, so
// that none can land between a look at what happened and the wait: the wait
// unblocks them atomically.
class WakingSignals {
 public:
  WakingSignals() {
    constexpr int waking[] = {SIGCHLD, SIGINT, SIGTERM, SIGHUP};
    sigset_t blocked;
    sigemptyset(&blocked);
    for (int signal : waking) sigaddset(&blocked, signal);
    ::sigprocmask(SIG_BLOCK, &blocked, &before_);
    // Whatever mask the program was started with, the wait wakes for these.
    waiting_ = before_;
    for (int signal : waking) sigdelset(&waiting_, signal);
  }
  ~WakingSignals() { ::sigprocmask(SIG_SETMASK, &before_, nullptr); }
  WakingSignals(const WakingSignals&) = delete;
  WakingSignals& operator=(const WakingSignals&) = delete;
  // Returns once a signal has been handled.
  void wait() const { ::sigsuspend(&waiting_); }

 private:
  sigset_t before_, waiting_;
};

// Waits for the child; when the run is interrupted meanwhile, asks the child to
// stop first, then raises.
Termination waitFor(pid_t child, const std::string& program, const WakingSignals& signals) {
  for (;;) {
    if (interruption) ::kill(child, SIGTERM);
    int status = 0;
    pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended < 0 && errno != EINTR) throwSystemError("Could not wait for", program, errno);
    if (ended == child) {
      raiseIfInterrupted();
      int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return {terminationStatus(status), signal ? described(signal) : "", signal == SIGXFSZ};
    }
    signals.wait();
  }
}

}  // namespace

void Processes::catchInterruptions() {
  struct sigaction action {};
  action.sa_handler = noteInterruption;
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

Termination Processes::execute(const Task& task) {
  WakingSignals signals;
  raiseIfInterrupted();
  // A handler, so that the wait wakes when the child ends. Started with SIGCHLD
  // ignored, as some launchers leave it, this program's children would instead be
  // reaped by the system and never found by waitpid.
  struct sigaction action {};
  action.sa_handler = noteChild;
  action.sa_flags = SA_NOCLDSTOP;
  sigemptyset(&action.sa_mask);
  ::sigaction(SIGCHLD, &action, nullptr);
  const std::string& program = task.executable.path();
  SpawnSettings settings(program);
  int output = task.output.descriptor();
  // Order matters: the log goes to 1 and 2 before 0 is replaced, in case the log
  // itself is descriptor 0.
  settings.check(posix_spawn_file_actions_adddup2(settings.actions(), output, 1));
  settings.check(posix_spawn_file_actions_adddup2(settings.actions(), output, 2));
  settings.check(posix_spawn_file_actions_addopen(settings.actions(), 0, "/dev/null", O_RDONLY, 0));
  // The child starts with every signal's default action and none blocked, whatever
  // this program was started with.
  sigset_t all, none;
  sigfillset(&all);
  sigemptyset(&none);
  settings.check(posix_spawnattr_setsigdefault(settings.attributes(), &all));
  settings.check(posix_spawnattr_setsigmask(settings.attributes(), &none));
  settings.check(posix_spawnattr_setflags(settings.attributes(),
                                          POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK));
  settings.check(
      confineChild(settings.actions(), settings.attributes(), task.workingFolder.path()));

  // The child's own name is its absolute path, as it would record it.
  std::string name = program;
  std::vector<char*> argv{name.data()};
  std::vector<std::string> arguments = task.arguments;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  settings.check(::posix_spawn(&child, program.c_str(), settings.actions(), settings.attributes(),
                               argv.data(), environ));
  return waitFor(child, program, signals);
}

}  // namespace tovren
