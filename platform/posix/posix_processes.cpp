#include "platform/posix/posix_processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstring>

#include "platform/portable/error.h"
#include "platform/posix/system.h"

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

// "signal N (its name)".
std::string described(int signal) {
  return "signal " + std::to_string(signal) + " (" + ::strsignal(signal) + ")";
}

void raiseIfInterrupted() {
  if (int signal = interruption)
    throw Interrupted(signal, "Setup was interrupted by " + described(signal) + ".");
}

// Waits for the child; when the run is interrupted meanwhile, asks the child to
// stop first, then raises.
Termination waitFor(pid_t child, const std::string& program) {
  int status = 0;
  if (interruption) ::kill(child, SIGTERM);
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throwSystemError("Could not wait for", program, errno);
    if (interruption) ::kill(child, SIGTERM);
  }
  raiseIfInterrupted();
  return {terminationStatus(status), WIFSIGNALED(status) ? described(WTERMSIG(status)) : ""};
}

}  // namespace

int terminationStatus(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

void PosixProcesses::catchInterruptions() {
  struct sigaction action {};
  action.sa_handler = noteInterruption;  // no SA_RESTART: waitpid returns to look
  sigemptyset(&action.sa_mask);
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) ::sigaction(signal, &action, nullptr);
}

Termination PosixProcesses::execute(const Task& task) {
  raiseIfInterrupted();
  // Started with SIGCHLD ignored, as some launchers leave it, this program's
  // children would be reaped by the system and never found by waitpid.
  ::signal(SIGCHLD, SIG_DFL);
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
  return waitFor(child, program);
}

Processes& defaultProcesses() {
  static PosixProcesses processes;
  return processes;
}

}  // namespace tovren
