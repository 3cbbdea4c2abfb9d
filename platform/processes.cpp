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

// Owns the spawn file actions for the length of one launch.
class FileActions {
 public:
  explicit FileActions(const std::string& program) : program_(program) {
    check(posix_spawn_file_actions_init(&actions_));
  }
  ~FileActions() { posix_spawn_file_actions_destroy(&actions_); }
  FileActions(const FileActions&) = delete;
  FileActions& operator=(const FileActions&) = delete;
  posix_spawn_file_actions_t* get() { return &actions_; }
  // Raises the error a file action reports, as one that keeps the program from
  // starting.
  void check(int code) const {
    if (code != 0) raise("Could not start", program_, code);
  }

 private:
  posix_spawn_file_actions_t actions_;
  const std::string& program_;
};

int waitFor(pid_t child, const std::string& program) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) raise("Could not wait for", program, errno);
  }
  if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
  return WEXITSTATUS(status);
}

}  // namespace

int PosixProcesses::execute(const Task& task) {
  const std::string& program = task.executable.path();
  FileActions actions(program);
  int output = task.output.descriptor();
  // Order matters: the log goes to 1 and 2 before 0 is replaced, in case the log
  // itself is descriptor 0.
  actions.check(posix_spawn_file_actions_adddup2(actions.get(), output, 1));
  actions.check(posix_spawn_file_actions_adddup2(actions.get(), output, 2));
  actions.check(posix_spawn_file_actions_addopen(actions.get(), 0, "/dev/null", O_RDONLY, 0));
  actions.check(posix_spawn_file_actions_addclosefrom_np(actions.get(), 3));
  actions.check(posix_spawn_file_actions_addchdir_np(actions.get(), task.workingFolder.path().c_str()));

  // The child's own name is its absolute path, as it would record it.
  std::string name = program;
  std::vector<char*> argv{name.data()};
  std::vector<std::string> arguments = task.arguments;
  for (auto& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);

  pid_t child = 0;
  actions.check(::posix_spawn(&child, program.c_str(), actions.get(), nullptr, argv.data(), environ));
  return waitFor(child, program);
}

Processes& defaultProcesses() {
  static PosixProcesses processes;
  return processes;
}

}  // namespace tovren
