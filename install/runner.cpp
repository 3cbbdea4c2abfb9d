#include "install/runner.h"

namespace tovren {

void run(Processes& processes, const Location& executable, std::vector<std::string> arguments,
         const FileHandle& log, const Location& workingFolder) {
  int status = processes.execute(Task{executable, std::move(arguments), log, workingFolder});
  if (status != 0) throw ChildFailure("Setup stopped (exit " + std::to_string(status) + ").");
}

}  // namespace tovren
