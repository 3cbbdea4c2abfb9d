#pragma once
// Child programs, started and waited for one at a time.

#include <string>
#include <vector>

#include "platform/portable/file_handle.h"
#include "platform/portable/location.h"

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

// Abstract so it can be mocked out for tests.
class Processes {
 public:
  virtual ~Processes() = default;
  // Starts the task, waits until it has ended and returns its termination status:
  // the exit status, or 128 + N for a child ended by signal N. Raises a
  // PlatformError naming the program when it cannot be started or waited for.
  virtual int execute(const Task& task) = 0;
};

}  // namespace tovren
