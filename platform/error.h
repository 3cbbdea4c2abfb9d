#pragma once
// Errors the platform reports: one readable sentence naming what failed, on which
// path, and the system's reason.

#include <exception>
#include <stdexcept>
#include <string>

namespace tovren {

// An operation of the operating system or of a library failed. `what()` is the
// description shown to the user, unchanged.
class PlatformError : public std::runtime_error {
 public:
  explicit PlatformError(const std::string& description, int code = 0)
      : std::runtime_error(description), code_(code) {}
  // The system's error number, or 0 when the failure has none.
  int code() const { return code_; }

 private:
  int code_;
};

// Raises `<action> "<path>": <strerror(code)>.`, e.g.
// Could not create the folder "/home/ana/.tovren/tools": Not a directory.
[[noreturn]] void raise(const std::string& action, const std::string& path, int code);

}  // namespace tovren
