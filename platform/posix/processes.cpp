#include "platform/processes.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

#include "platform/posix/signals.h"
#include "platform/posix/spawn.h"
#include "support/error.h"

extern char** environ;

namespace tovren {

namespace {

// The null device, the child's standard input, opened here so that a system
// without it (a bare container or chroot) is named as the cause, not the
// program. Past the standard descriptors, so that setting up 1 and 2 cannot
// replace it.
FileHandle nullDevice() {
  FileHandle device(::open("/dev/null", O_RDONLY | O_CLOEXEC), "/dev/null");
  struct stat status {};
  if (device.descriptor() < 0)
    throwSystemError("Could not open the null device", device.path(), device.error());
  if (::fstat(device.descriptor(), &status) != 0 || !S_ISCHR(status.st_mode))
    throw PlatformError("Could not use the null device", device.path(),
                        "it is not a device, so a program would read what it holds");
  if (device.descriptor() > 2) return device;
  FileHandle above(::fcntl(device.descriptor(), F_DUPFD_CLOEXEC, 3), device.path());
  if (above.descriptor() < 0)
    throwSystemError("Could not open the null device", device.path(), above.error());
  return above;
}

// The spawn file actions and attributes of one launch: the child's standard
// descriptors, its folder, a process group of its own, and signals at their
// defaults, none blocked.
class SpawnSettings {
 public:
  SpawnSettings(const Task& task, const FileHandle& input) : program_(task.executable.path()) {
    check(posix_spawn_file_actions_init(&actions_));
    if (int code = posix_spawnattr_init(&attributes_)) {
      posix_spawn_file_actions_destroy(&actions_);
      check(code);
    }
    int output = task.output.descriptor();
    // Order matters: the log goes to 1 and 2 before 0 is replaced, in case the log
    // itself is descriptor 0.
    check(posix_spawn_file_actions_adddup2(&actions_, output, 1));
    check(posix_spawn_file_actions_adddup2(&actions_, output, 2));
    check(posix_spawn_file_actions_adddup2(&actions_, input.descriptor(), 0));
    sigset_t defaults = defaultInChildren(), none;
    sigemptyset(&none);
    check(posix_spawnattr_setsigdefault(&attributes_, &defaults));
    check(posix_spawnattr_setsigmask(&attributes_, &none));
    // Its group is stopped as one: whatever it starts goes with it.
    check(posix_spawnattr_setpgroup(&attributes_, 0));
    check(posix_spawnattr_setflags(
        &attributes_, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP));
    check(confineChild(&actions_, &attributes_, task.workingFolder.path()));
  }
  ~SpawnSettings() {
    posix_spawnattr_destroy(&attributes_);
    posix_spawn_file_actions_destroy(&actions_);
  }
  SpawnSettings(const SpawnSettings&) = delete;
  SpawnSettings& operator=(const SpawnSettings&) = delete;

  // Starts the program with `arguments` after its own name, its absolute path as
  // it would record it; returns its process number.
  pid_t spawn(const std::vector<std::string>& arguments,
              const std::vector<std::string>& environment) {
    std::vector<std::string> texts = arguments, variables = environment;
    texts.insert(texts.begin(), program_);
    std::vector<char*> argv, envp;
    for (auto& text : texts) argv.push_back(text.data());
    for (auto& variable : variables) envp.push_back(variable.data());
    argv.push_back(nullptr), envp.push_back(nullptr);
    pid_t child = 0;
    check(
        ::posix_spawn(&child, program_.c_str(), &actions_, &attributes_, argv.data(), envp.data()));
    return child;
  }

 private:
  // Raises the error a setting reports, as one that keeps the program from
  // starting.
  void check(int code) const {
    if (code != 0) throwSystemError("Could not start", program_, code);
  }

  posix_spawn_file_actions_t actions_;
  posix_spawnattr_t attributes_;
  const std::string& program_;
};

// The termination status of a child whose status waitpid gave as `waitStatus`:
// its exit status, or 128 + N when signal N ended it.
int terminationStatus(int waitStatus) {
  return WIFSIGNALED(waitStatus) ? 128 + WTERMSIG(waitStatus) : WEXITSTATUS(waitStatus);
}

// A child that has not ended after being asked to stop: it is killed once
// stopGraceSeconds have passed.
struct Stopping {
  std::chrono::steady_clock::time_point deadline;
  bool killed = false;
};

// Asks the child's process group, the child and whatever it started, to stop:
// continued too, as a stopped group would not take the request until then.
void askToStop(pid_t child) { ::kill(-child, SIGTERM), ::kill(-child, SIGCONT); }

// Waits for the child; once the run is interrupted, stops its group and raises.
// A request to suspend the program suspends the group with it.
Termination waitFor(pid_t child, const Task& task) {
  const std::string& program = task.executable.path();
  std::optional<Stopping> stopping;
  for (;;) {
    int status = 0;
    pid_t ended = ::waitpid(child, &status, WNOHANG);
    if (ended < 0) throwSystemError("Could not wait for", program, errno);
    if (ended == child && interruption()) {
      // What the child left running in its group goes with it.
      ::kill(-child, SIGKILL);
      throw Interrupted(interruption(),
                        interruptionText() +
                            (stopping && stopping->killed
                                 ? " " + task.executable.name() + " did not stop within " +
                                       std::to_string(stopGraceSeconds) + " seconds and was killed."
                                 : ""));
    }
    if (ended == child) {
      int signal = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
      return {terminationStatus(status), signal ? described(signal) : "", signal == SIGXFSZ};
    }
    if (suspensionRequested()) ::kill(-child, SIGTSTP), suspend(), ::kill(-child, SIGCONT);
    auto now = std::chrono::steady_clock::now();
    if (interruption() && !stopping)
      askToStop(child), stopping = Stopping{now + std::chrono::seconds(stopGraceSeconds)};
    if (stopping && !stopping->killed && now >= stopping->deadline)
      ::kill(-child, SIGKILL), stopping->killed = true;
    std::optional<std::chrono::milliseconds> left;
    if (stopping && !stopping->killed)
      left = std::chrono::ceil<std::chrono::milliseconds>(stopping->deadline - now);
    (void)waitForSignal(-1, 0, left, "Could not wait for \"" + program + "\"");
  }
}

}  // namespace

Processes::Processes() {
  for (char** variable = environ; variable && *variable; ++variable)
    environment_.emplace_back(*variable);
}

Termination Processes::execute(const Task& task) {
  raiseIfInterrupted();
  FileHandle input = nullDevice();
  SpawnSettings settings(task, input);
  SuspensionsNoted suspensions;
  return waitFor(settings.spawn(task.arguments, environment_), task);
}

}  // namespace tovren
