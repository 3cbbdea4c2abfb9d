#pragma once
// An open file descriptor, owned: closed exactly once. Defined in
// platform/posix/file_handle.cpp.

#include <string>
#include <string_view>
#include <utility>

namespace tovren {

// A descriptor and the path it was opened on. It is closed exactly once: by
// close(), which raises a PlatformError naming the path when the system reports
// a failure, or else when the handle goes away, where nothing is left to report.
// It moves, and never copies, so no descriptor is closed twice.
class FileHandle {
 public:
  // Takes the result of an open call made in the same expression. When it failed,
  // error() is the call's error number: it is read before the path is copied,
  // which may allocate and so change errno, whatever order the compiler
  // evaluates the arguments in.
  FileHandle(int descriptor, std::string_view path);
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&&) = delete;
  ~FileHandle();

  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }
  // The open call's error number when the descriptor is negative; 0 otherwise.
  int error() const { return error_; }
  void close();
  // Writes all of `text` at the descriptor's position, which it shares with the
  // children given it: after what they wrote. Raises a PlatformError naming the
  // path when the system refuses.
  void write(std::string_view text) const;
  // Hands the descriptor to a new owner, which closes it; this handle is empty.
  int release() { return std::exchange(descriptor_, -1); }

 private:
  int error_;
  int descriptor_;
  std::string path_;
};

}  // namespace tovren
