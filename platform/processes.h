#pragma once
// Child programs, started and waited for one at a time.

#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "platform/interruption.h"
#include "support/location.h"

namespace tovren {

// What to start: the program by its absolute path, its arguments (no shell), the
// handle that takes both its standard output and standard error, and its
// current folder. Standard input is the null device.
struct Task {
  Location executable;
  std::vector<std::string> arguments;
  const FileHandle& output;
  Location workingFolder;
};

// How a child ended: its termination status, the exit status or 128 + N for a
// child ended by signal N, and for such a child the signal's number and name,
// e.g. "signal 11 (Segmentation fault)"; empty for a child that exited. A child
// ended for writing past the file-size limit is `overFileSizeLimit`.
struct Termination {
  int status;
  std::string signal;
  bool overFileSizeLimit = false;
};

// How long a child asked to stop may take before it is killed.
constexpr int stopGraceSeconds = 10;

// Child programs on the system's own calls (platform/posix/): started with the
// environment this object was made in, in a process group of their own, no
// descriptor but their three standard ones, standard input the null device, no
// signal blocked, and every signal's default action but those
// catchInterruptions leaves ignored.
class Processes {
 public:
  Processes();
  // Starts the task, waits until it has ended and returns how it ended. Raises a
  // PlatformError naming the program, or the null device, when it cannot be
  // started or waited for. Once the run is interrupted (catchInterruptions), the
  // child's group is asked to stop (SIGTERM), killed when the child has not
  // ended stopGraceSeconds later, and what is left of it killed once the child
  // has ended; then Interrupted is raised, saying so when the child had to be
  // killed. Interrupted before, no child is started. A request to suspend the
  // program (Ctrl-Z) suspends the child's group with it.
  Termination execute(const Task& task);

 private:
  std::vector<std::string> environment_;
};

}  // namespace tovren
