#pragma once
// Errors the platform reports: one readable sentence naming what failed, on which
// path, and the reason.

#include <stdexcept>
#include <string>

namespace tovren {

// An operation of the operating system or of a library failed. `what()` is the
// description shown to the user, unchanged: `<call> "<path>": <reason>.`, e.g.
// Could not create the folder "/home/ana/.tovren/tools": Not a directory.
// An operation on no path reads `<call>: <reason>.`
class PlatformError : public std::runtime_error {
 public:
  PlatformError(const std::string& call, const std::string& path, const std::string& reason, int code = 0)
      : std::runtime_error(call + (path.empty() ? "" : " \"" + path + "\"") + ": " + reason + "."), code_(code) {}

  // The system's error number, or 0 where no system call failed.
  int code() const { return code_; }

 private:
  int code_;
};

// Raises the PlatformError of `call` on `path` with the system's reason for the
// error number `code`.
[[noreturn]] void raise(const std::string& call, const std::string& path, int code);

}  // namespace tovren
