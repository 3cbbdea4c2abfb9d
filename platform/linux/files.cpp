// Durable writes, mode changes, reservations and free space on Linux.
#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_handle.h"
#include "support/error.h"

namespace tovren {

// fsync sends the data through the drive's cache to the device.
void syncFile(int descriptor, const std::string& path) {
  if (::fsync(descriptor) != 0) throwSystemError("Could not write", path, errno);
}

void syncFolder(const std::string& folder) {
  FileHandle opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), folder);
  if (opened.descriptor() >= 0) ::fsync(opened.descriptor());
}

// With AT_SYMLINK_NOFOLLOW, Linux refuses a link (EOPNOTSUPP) instead of changing it.
int setModeRefusingLinks(const std::string& path, unsigned mode) {
  return ::fchmodat(AT_FDCWD, path.c_str(), mode, AT_SYMLINK_NOFOLLOW) == 0 ? 0 : errno;
}

int reserve(int descriptor, std::uint64_t bytes) {
  return ::posix_fallocate(descriptor, 0, static_cast<off_t>(bytes));
}

// A file system without a limit on its files reports none in all.
int freeSpace(const std::string& path, Space& space) {
  struct statvfs status {};
  if (::statvfs(path.c_str(), &status) != 0) return errno;
  space.bytes = std::uint64_t{status.f_bavail} * status.f_frsize;
  if (status.f_files != 0) space.files = status.f_favail;
  return 0;
}

}  // namespace tovren
