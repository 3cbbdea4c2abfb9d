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

}  // namespace tovren
