#pragma once
// An open file descriptor, owned: closed exactly once.

#include <string>
#include <utility>

namespace tovren {

// A descriptor and the path it was opened on. It is closed exactly once: by
// close(), which raises a PlatformError naming the path when the system reports
// a failure, or else when the handle goes away, where nothing is left to report.
// It moves, and never copies, so no descriptor is closed twice.
class FileHandle {
 public:
  FileHandle(int descriptor, std::string path) : descriptor_(descriptor), path_(std::move(path)) {}
  FileHandle(FileHandle&& other) noexcept;
  FileHandle& operator=(FileHandle&&) = delete;
  ~FileHandle();

  int descriptor() const { return descriptor_; }
  const std::string& path() const { return path_; }
  void close();
  // Hands the descriptor to a new owner, which closes it; this handle is empty.
  int release() { return std::exchange(descriptor_, -1); }

 private:
  int descriptor_;
  std::string path_;
};

}  // namespace tovren
