// Durable writes, mode changes, reservations and free space on macOS.
#include "platform/posix/files.h"

#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/file_handle.h"
#include "support/error.h"

namespace tovren {

namespace {

// fsync only hands the data to the drive, whose cache may lose or reorder it;
// F_FULLFSYNC asks the drive to write it to the medium. File systems that do not
// take it get fsync. Returns 0, or the error number.
int flush(int descriptor) {
  if (::fcntl(descriptor, F_FULLFSYNC) == 0) return 0;
  return ::fsync(descriptor) == 0 ? 0 : errno;
}

}  // namespace

void syncFile(int descriptor, const std::string& path) {
  if (int code = flush(descriptor)) throwSystemError("Could not write", path, code);
}

void syncFolder(const std::string& folder) {
  FileHandle opened(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), folder);
  if (opened.descriptor() >= 0) flush(opened.descriptor());
}

// fchmodat with AT_SYMLINK_NOFOLLOW changes a link itself here instead of
// refusing it, so a link is refused first. The item is not opened: under a umask
// that takes the owner's bits, its owner could not open it yet. One replaced by a
// link in between has the link's own mode changed, never what it leads to.
int setModeRefusingLinks(const std::string& path, unsigned mode) {
  struct stat status {};
  if (::lstat(path.c_str(), &status) != 0) return errno;
  if (S_ISLNK(status.st_mode)) return ELOOP;
  return ::fchmodat(AT_FDCWD, path.c_str(), static_cast<mode_t>(mode), AT_SYMLINK_NOFOLLOW) == 0
             ? 0
             : errno;
}

// macOS has no posix_fallocate; F_PREALLOCATE allocates from the file's end.
int reserve(int descriptor, std::uint64_t bytes) {
  fstore_t store{F_ALLOCATEALL, F_PEOFPOSMODE, 0, static_cast<off_t>(bytes), 0};
  return ::fcntl(descriptor, F_PREALLOCATE, &store) == 0 ? 0 : errno;
}

// statvfs counts blocks in 32 bits here and misreports large volumes; statfs
// counts them in 64.
int freeSpace(const std::string& path, Space& space) {
  struct statfs status {};
  if (::statfs(path.c_str(), &status) != 0) return errno;
  space.bytes = std::uint64_t{status.f_bavail} * status.f_bsize;
  if (status.f_files != 0) space.files = status.f_ffree;
  return 0;
}

}  // namespace tovren
