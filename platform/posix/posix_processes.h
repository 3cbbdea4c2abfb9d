#pragma once

#include "platform/portable/processes.h"

namespace tovren {

// Child programs through posix_spawn; the child inherits the environment and no
// descriptor but its three standard ones.
class PosixProcesses : public Processes {
 public:
  Termination execute(const Task& task) override;
  void catchInterruptions() override;
};

// The termination status of a child whose status waitpid gave as `waitStatus`:
// its exit status, or 128 + N when signal N ended it.
int terminationStatus(int waitStatus);

// The program's shared way to start children.
Processes& defaultProcesses();

}  // namespace tovren
