#pragma once

#include <exception>
#include <string>

namespace tovren {

// The program's own error: setup cannot go on, for the reason in `message`, a
// finished sentence the user reads as it stands.
struct SetupFailure : std::exception {
  explicit SetupFailure(std::string text) : message(std::move(text)) {}
  const char* what() const noexcept override { return message.c_str(); }
  const std::string message;
};

// The user-facing description of a raised error: a SetupFailure's whole message,
// a platform error's own description, and a readable sentence for errors that
// have none.
std::string describe(std::exception_ptr error);

}  // namespace tovren
