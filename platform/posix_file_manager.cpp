#include "platform/posix_file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "platform/error.h"

namespace tovren {

namespace {

// Closes a descriptor when the scope ends; for descriptors only read or used to
// reach others, where a failing close has nothing to report.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  Descriptor(Descriptor&& other) noexcept : fd_(other.release()) {}
  Descriptor& operator=(Descriptor&&) = delete;
  int get() const { return fd_; }
  int release() { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

std::string homeFromPasswordDatabase() {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  std::vector<char> buffer(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd entry{};
  passwd* found = nullptr;
  int code = getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found);
  if (!found || !entry.pw_dir || entry.pw_dir[0] != '/')
    throw PlatformError("Could not find the home folder of the current user" +
                        std::string(code ? std::string(": ") + std::strerror(code) : "") + ".", code);
  return entry.pw_dir;
}

// Creates one folder with exactly `mode`, or nothing; returns false when something
// already stands at `path`. `shown` is the folder the caller asked for.
bool makeFolder(const std::string& path, unsigned mode, const std::string& shown) {
  if (::mkdir(path.c_str(), mode) != 0) {
    if (errno == EEXIST) return false;
    raise("Could not create the folder", shown, errno);
  }
  // mkdir narrowed the mode by the umask; widen it back to exactly `mode` on the
  // folder just made, reached without following a link. A folder that cannot get
  // its mode is taken back, so a failure leaves nothing behind.
  Descriptor folder(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.get() < 0 || ::fchmod(folder.get(), mode) != 0) {
    int code = errno;
    ::rmdir(path.c_str());
    raise("Could not create the folder", shown, code);
  }
  return true;
}

// Raises unless `path`, which exists, is a folder (following links, as a path
// lookup does).
void requireFolder(const std::string& path, const std::string& shown) {
  struct stat status{};
  if (::stat(path.c_str(), &status) != 0) raise("Could not create the folder", shown, errno);
  if (!S_ISDIR(status.st_mode)) raise("Could not create the folder", shown, ENOTDIR);
}

void removeInside(int parent, const std::string& name, const std::string& path);

void removeChildren(int folderFd, const std::string& path) {
  DIR* listing = ::fdopendir(folderFd);
  if (!listing) {
    ::close(folderFd);
    raise("Could not list the folder", path, errno);
  }
  std::vector<std::string> names;
  errno = 0;
  while (dirent* entry = ::readdir(listing)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
  int listError = errno;
  for (const auto& name : names) {
    try {
      removeInside(::dirfd(listing), name, path + "/" + name);
    } catch (...) {
      ::closedir(listing);
      throw;
    }
  }
  ::closedir(listing);
  if (listError) raise("Could not list the folder", path, listError);
}

// Removes `name` in the folder `parent`; a link is removed itself, never followed.
void removeInside(int parent, const std::string& name, const std::string& path) {
  if (::unlinkat(parent, name.c_str(), 0) == 0) return;
  if (errno != EISDIR && errno != EPERM) raise("Could not remove", path, errno);
  int folder = ::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (folder < 0) raise("Could not remove", path, errno);
  removeChildren(folder, path);
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0) raise("Could not remove", path, errno);
}

// Opens the file itself, never waiting: a fifo planted at the path would block a
// plain open until someone wrote to it. Anything but a regular file is refused.
Descriptor openFile(const std::string& path, int flags, const char* action, struct stat& status) {
  Descriptor file(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
  if (file.get() < 0 || ::fstat(file.get(), &status) != 0) raise(action, path, errno);
  if (!S_ISREG(status.st_mode)) throw PlatformError(std::string(action) + " \"" + path + "\": Not a regular file.");
  return file;
}

// Reads from `fd` into `bytes` from `size` on, growing it while the file grows;
// returns the number of bytes in it.
std::size_t readAll(int fd, Bytes& bytes, std::size_t size, const std::string& path) {
  for (;;) {
    if (size == bytes.size()) bytes.resize(bytes.size() * 2 + 1);
    ssize_t n = ::read(fd, bytes.data() + size, bytes.size() - size);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raise("Could not read", path, errno);
    if (n == 0) return size;
    size += static_cast<std::size_t>(n);
  }
}

void writeAll(int fd, const Bytes& bytes, const std::string& path) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) raise("Could not write", path, errno);
    done += static_cast<std::size_t>(n);
  }
}

}  // namespace

Location PosixFileManager::home() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return Location(home);
  return Location(homeFromPasswordDatabase());
}

bool PosixFileManager::exists(const Location& location) {
  struct stat status{};
  return ::stat(location.path().c_str(), &status) == 0;
}

Attributes PosixFileManager::attributes(const Location& location) {
  struct stat status{};
  if (::lstat(location.path().c_str(), &status) != 0) raise("Could not examine", location.path(), errno);
  ItemType type = S_ISLNK(status.st_mode)   ? ItemType::link
                  : S_ISDIR(status.st_mode) ? ItemType::folder
                  : S_ISREG(status.st_mode) ? ItemType::file
                                            : ItemType::other;
  return Attributes{type, status.st_mode & 07777u};
}

void PosixFileManager::createFolder(const Location& location, bool intermediates, unsigned mode) {
  const std::string& path = location.path();
  if (!intermediates) {
    if (!makeFolder(path, mode, path)) raise("Could not create the folder", path, EEXIST);
    return;
  }
  // Every folder from the top down; existing folders are left as they are.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string prefix = path.substr(0, end);
    if (!makeFolder(prefix, mode, path)) requireFolder(prefix, path);
    if (end == std::string::npos) return;
  }
}

void PosixFileManager::setMode(const Location& location, unsigned mode) {
  if (::fchmodat(AT_FDCWD, location.path().c_str(), mode, AT_SYMLINK_NOFOLLOW) != 0)
    raise("Could not set the permissions of", location.path(), errno);
}

void PosixFileManager::remove(const Location& location) {
  Descriptor parent(::open(location.parent().path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (parent.get() < 0) raise("Could not remove", location.path(), errno);
  removeInside(parent.get(), location.name(), location.path());
}

Bytes PosixFileManager::read(const Location& location, Links links) {
  const std::string& path = location.path();
  struct stat status{};
  Descriptor file = openFile(path, O_RDONLY | (links == Links::refuse ? O_NOFOLLOW : 0), "Could not read", status);
  Bytes bytes(static_cast<std::size_t>(status.st_size) + 1);
  bytes.resize(readAll(file.get(), bytes, 0, path));
  return bytes;
}

Bytes PosixFileManager::readEnd(const Location& location, std::size_t count) {
  const std::string& path = location.path();
  struct stat status{};
  Descriptor file = openFile(path, O_RDONLY | O_NOFOLLOW, "Could not read", status);
  auto size = static_cast<std::size_t>(status.st_size);
  if (size > count && ::lseek(file.get(), static_cast<off_t>(size - count), SEEK_SET) < 0) raise("Could not read", path, errno);
  Bytes bytes(std::min(size, count) + 1);
  bytes.resize(readAll(file.get(), bytes, 0, path));
  // The file grew while it was read: its end is the last `count` bytes.
  if (bytes.size() > count) bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(count));
  return bytes;
}

void PosixFileManager::write(const Location& location, const Bytes& bytes) {
  const std::string& path = location.path();
  std::string temporary = location.parent().append("." + location.name() + ".tmp-XXXXXX").path();
  // mkostemp creates the file exclusively with mode 0600, whatever the umask.
  Descriptor file(::mkostemp(temporary.data(), O_CLOEXEC));
  if (file.get() < 0) raise("Could not write", path, errno);
  try {
    writeAll(file.get(), bytes, path);
    if (::fsync(file.get()) != 0) raise("Could not write", path, errno);
    if (::close(file.release()) != 0) raise("Could not write", path, errno);
    // rename replaces a link at the destination instead of following it.
    if (::rename(temporary.c_str(), path.c_str()) != 0) raise("Could not write", path, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  // Make the new name durable too; the content is already in place for readers.
  Descriptor folder(::open(location.parent().path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  if (folder.get() >= 0) ::fsync(folder.get());
}

FileHandle PosixFileManager::openForWriting(const Location& location) {
  struct stat status{};
  Descriptor file = openFile(location.path(), O_WRONLY | O_NOFOLLOW, "Could not open for writing", status);
  // Children write through this handle as a plain, blocking one.
  if (::fcntl(file.get(), F_SETFL, 0) != 0) raise("Could not open for writing", location.path(), errno);
  return FileHandle{file.release()};
}

void PosixFileManager::close(FileHandle handle) {
  if (::close(handle.descriptor) != 0)
    throw PlatformError(std::string("Could not close a file handle: ") + std::strerror(errno) + ".", errno);
}

FileManager& defaultManager() {
  static PosixFileManager manager;
  return manager;
}

}  // namespace tovren
