// Durable writes, mode changes, reservations and free space on macOS.
#include <fcntl.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/portable/error.h"
#include "platform/portable/file_handle.h"
#include "platform/posix/system.h"

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

// fchmodat with AT_SYMLINK_NOFOLLOW would change a link itself here, so the item
// is opened without following a link (a link fails with ELOOP) and changed
// through its descriptor. O_NONBLOCK keeps a fifo from making the open wait.
int setModeRefusingLinks(const std::string& path, unsigned mode) {
  FileHandle item(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC), path);
  if (item.descriptor() < 0) return item.error();
  return ::fchmod(item.descriptor(), static_cast<mode_t>(mode)) == 0 ? 0 : errno;
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
