#pragma once
// A run asked to stop, by the user (Ctrl-C, a closed terminal) or by the system,
// defined in platform/posix/interruption.cpp.

#include <string>

#include "support/error.h"

namespace tovren {

// The run was asked to stop, and stopped its child if one ran. The description
// is one line naming the signal.
class Interrupted : public Error {
 public:
  Interrupted(int signal, std::string description)
      : Error(std::move(description)), signal_(signal) {}
  int signal() const { return signal_; }

 private:
  int signal_;
};

// From now on the signals that ask a program to stop (interrupt, terminate,
// hang-up, quit, and a CPU-time limit reached) no longer end this one at once:
// each is noted, and the next look at it raises Interrupted: raiseIfInterrupted,
// and every wait of the program's (for a child, an answer, a reader of what it
// writes, the tools folder's lock). One this program was started with ignored, as
// nohup and a shell's background jobs start programs, stays ignored, and the
// children start with it ignored too. Raises a PlatformError with the system's
// reason when the system refuses.
void catchInterruptions();

// Raises Interrupted when one of those signals has arrived.
void raiseIfInterrupted();

// Ends the process with `status`. A run that was interrupted, and whose status
// is 128 + the signal's number, ends by the signal itself, its default action
// restored, so that its parent sees how it ended (a shell's loop, make); a
// signal whose default action leaves a core file (quit, the CPU-time limit)
// ends it with the status alone, and leaves none.
[[noreturn]] void end(int status);

}  // namespace tovren
