#include "platform/file_handle.h"

#include <unistd.h>

#include <cerrno>

#include "platform/posix/descriptors.h"
#include "support/error.h"

namespace tovren {

FileHandle::FileHandle(int descriptor, std::string_view path)
    : error_(descriptor < 0 ? errno : 0), descriptor_(descriptor), path_(path) {}

FileHandle::FileHandle(FileHandle&& other) noexcept
    : error_(other.error_),
      descriptor_(std::exchange(other.descriptor_, -1)),
      path_(std::move(other.path_)) {}

FileHandle::~FileHandle() {
  if (descriptor_ >= 0) ::close(descriptor_);
}

void FileHandle::close() {
  // The descriptor is released whatever close says: it must not be closed again.
  if (::close(std::exchange(descriptor_, -1)) != 0)
    throwSystemError("Could not close", path_, errno);
}

void FileHandle::write(std::string_view text) const {
  if (int code = writeAll(descriptor_, text)) throwSystemError("Could not write", path_, code);
}

}  // namespace tovren
