#include "install/runner.h"

namespace tovren {

void run(Processes& processes, const Location& executable, std::vector<std::string> arguments,
         const FileHandle& log, const Location& workingFolder) {
  Termination ended = processes.execute(Task{executable, std::move(arguments), log, workingFolder});
  if (ended.status == 0) return;
  std::string stopped = "Setup stopped (exit " + std::to_string(ended.status) + ").";
  if (!ended.signal.empty())
    stopped += "\n" + executable.name() + " was ended by " + ended.signal + ".";
  throw ChildFailure(stopped, ended.overFileSizeLimit);
}

}  // namespace tovren
