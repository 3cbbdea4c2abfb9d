#include "platform/processes.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "platform/error.h"

extern char** environ;

namespace tovren {

namespace {

// Owns the spawn attributes for the length of one launch.
class FileActions {
 public:
  FileActions() { posix_spawn_file_actions_init(&actions_); }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }

 private:
  posix_spawn_file_actions_t actions_;
};

int waitFor(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) return 128 + 9;  // cannot happen for our own child; never report success
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace

int PosixProcesses::execute(const Task& task) {
  const std::string& program = task.executable.path();
  FileActions actions;
  int output = task.output.descriptor;
  // Order matters: the log goes to 1 and 2 before 0 is replaced, in case the log
  // itself is descriptor 0.
  if (posix_spawn_file_actions_adddup2(actions.get(), output, 1) ||
      posix_spawn_file_actions_adddup2(actions.get(), output, 2) ||
      posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0) ||
      posix_spawn_file_actions_addclosefrom_np(actions.get(), 3) ||
      posix_spawn_file_actions_addchdir_np(actions.get(), task.workingFolder.path().c_str()))
    raise("Could not start", program, ENOMEM);

  // The child's own name is its absolute path, as it would record it.
  std::string name = program;
  std::vector<char*> argv{name.data()};
  std::vector<std::string> arguments = task.arguments;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  int code = ::posix_spawn(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ);
  if (code != 0) raise("Could not start", program, code);
  return waitFor(child);
}

Processes& defaultProcesses() {
  static PosixProcesses processes;
  return processes;
}

}  // namespace tovren
