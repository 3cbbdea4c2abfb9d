#pragma once
// Child programs, started and waited for one at a time.

#include <string>
#include <vector>

#include "platform/file_handle.h"
#include "support/error.h"
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

// The run was asked to stop, by the user (Ctrl-C, a closed terminal) or by the
// system, and stopped its child. The description is one line naming the signal.
class Interrupted : public Error {
 public:
  Interrupted(int signal, std::string description)
      : Error(std::move(description)), signal_(signal) {}
  int signal() const { return signal_; }

 private:
  int signal_;
};

// Child programs on the system's own calls (platform/posix/): started with the
// environment, no descriptor but their three standard ones, and every signal's
// default action.
class Processes {
 public:
  // Starts the task, waits until it has ended and returns how it ended. Raises a
  // PlatformError naming the program when it cannot be started or waited for.
  Termination execute(const Task& task);
  // From now on the signals that ask a program to stop (interrupt, terminate,
  // hang-up) no longer end this one at once: the child being waited for is asked
  // to stop and waited for, and execute raises Interrupted, as it does for a
  // signal that arrived before it was called.
  void catchInterruptions();
};

}  // namespace tovren
