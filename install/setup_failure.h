#pragma once

#include <exception>
#include <string>

#include "support/error.h"

namespace tovren {

// The program's own error: setup cannot go on, for the reason in its
// description, a finished text the user reads as it stands. It is set when the
// failure is made and never changed.
class SetupFailure : public Error {
 public:
  explicit SetupFailure(std::string message) : Error(std::move(message)) {}
};

// The user-facing description of a raised error: the whole description of the
// program's own errors (a SetupFailure's message, a platform or decoding error's
// description), and a readable sentence for errors that have none.
std::string describe(std::exception_ptr error);

}  // namespace tovren
