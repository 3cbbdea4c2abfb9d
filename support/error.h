#pragma once
// The base of every error the program raises for the user to read, Error, which
// carries the description the user reads, unchanged, and the two every layer
// may raise: an operation of the system or a library that failed
// (PlatformError), and bytes that do not decode (DecodingError). The layers
// above derive their own from Error. Besides these, code here raises
// std::bad_alloc when memory runs out, and std::invalid_argument for a relative
// Location, a mistake in the program itself.

#include <exception>
#include <string>

namespace tovren {

class Error : public std::exception {
 public:
  explicit Error(std::string description) : description_(std::move(description)) {}
  const char* what() const noexcept override { return description_.c_str(); }
  // The whole description, with any NUL a child wrote into a log.
  const std::string& description() const { return description_; }

 private:
  std::string description_;
};

// An operation of the operating system or of a library failed. The description is
// `<call> "<path>": <reason>.`, e.g.
// Could not create the folder "/home/ana/.tovren/tools": Not a directory.
// An operation on no path reads `<call>: <reason>.`
class PlatformError : public Error {
 public:
  PlatformError(const std::string& call, const std::string& path, const std::string& reason,
                int code = 0)
      : Error(call + (path.empty() ? "" : " \"" + path + "\"") + ": " + reason + "."),
        code_(code) {}

  // The system's error number, or 0 where no system call failed.
  int code() const { return code_; }

 private:
  int code_;
};

// Bytes could not be decoded into what was expected: text that is not UTF-8,
// Base64 or JSON that breaks the rules. The description is one sentence naming
// what was read and the problem. Nothing on disk or in the system failed.
class DecodingError : public Error {
 public:
  using Error::Error;
};

// Raises the PlatformError of `call` on `path` with the system's reason for the
// error number `code`. The call's name is a plain C string, so passing `errno` with
// it reads the number before anything is allocated.
[[noreturn]] void throwSystemError(const char* call, const std::string& path, int code);

}  // namespace tovren
