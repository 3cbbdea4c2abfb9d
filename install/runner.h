#pragma once

#include <string>
#include <vector>

#include "install/setup_failure.h"
#include "platform/processes.h"

namespace tovren {

// A child program ended with a status other than 0; `overFileSizeLimit` when it
// was ended for writing past the file-size limit.
struct ChildFailure : SetupFailure {
  ChildFailure(std::string message, bool overLimit)
      : SetupFailure(std::move(message)), overFileSizeLimit(overLimit) {}
  bool overFileSizeLimit;
};

// Runs `executable` with `arguments` (no shell), standard input from the null
// device, standard output and standard error to `log`, in `workingFolder`, and
// waits until it ends. Returns when it exits with status 0. Raises the platform's
// error when it cannot be started, and a ChildFailure "Setup stopped (exit N)."
// for any other status (a child ended by signal N has status 128 + N), followed
// for such a child by a line "<name> was ended by signal N (its name).".
void run(Processes& processes, const Location& executable, std::vector<std::string> arguments,
         const FileHandle& log, const Location& workingFolder);

}  // namespace tovren
