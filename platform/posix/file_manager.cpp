#include "platform/file_manager.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include "platform/interruption.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/files.h"
#include "platform/posix/signals.h"
#include "support/error.h"

namespace tovren {

namespace {

// The password database's entry of `user`, with its texts in `buffer`; none
// when it has none, and `code` the error of the lookup.
passwd* passwordEntry(uid_t user, passwd& entry, std::vector<char>& buffer, int& code) {
  long size = sysconf(_SC_GETPW_R_SIZE_MAX);
  buffer.resize(size > 0 ? static_cast<std::size_t>(size) : 16384);
  passwd* found = nullptr;
  code = getpwuid_r(user, &entry, buffer.data(), buffer.size(), &found);
  return found;
}

// The home folder the password database names, where HOME named none; `home` is
// HOME's value, or null when it is not set.
std::string homeFromPasswordDatabase(const char* home) {
  passwd entry{};
  std::vector<char> buffer;
  int code = 0;
  passwd* found = passwordEntry(getuid(), entry, buffer, code);
  if (found && entry.pw_dir && entry.pw_dir[0] == '/') return entry.pw_dir;
  std::string variable = home && *home
                             ? "HOME \"" + std::string(home) + "\" is not an absolute path"
                             : "HOME is not set";
  throw PlatformError(
      "Could not find the home folder of user " + std::to_string(getuid()), "",
      code ? std::strerror(code) : variable + ", and the password database has no folder");
}

// The account name of `user`, or "user N" where the password database has none.
std::string accountName(uid_t user) {
  passwd entry{};
  std::vector<char> buffer;
  int code = 0;
  if (passwordEntry(user, entry, buffer, code) && entry.pw_name) return entry.pw_name;
  return "user " + std::to_string(user);
}

// Creates one folder with exactly `mode`, or nothing; returns false when something
// already stands at `path`. `shown` is the folder the caller asked for.
bool makeFolder(const std::string& path, unsigned mode, const std::string& shown) {
  if (::mkdir(path.c_str(), static_cast<mode_t>(mode)) != 0) {
    if (errno == EEXIST) return false;
    throwSystemError("Could not create the folder", shown, errno);
  }
  // mkdir narrowed the mode by the umask; widen it back to exactly `mode` on the
  // folder just made, before anything is made in it, and without opening it: under
  // a umask that takes the owner's bits, its owner could not open it yet. A folder
  // that cannot get its mode is taken back, so a failure leaves nothing behind.
  if (int code = setModeRefusingLinks(path, mode)) {
    ::rmdir(path.c_str());
    throwSystemError("Could not create the folder", shown, code);
  }
  return true;
}

// Raises unless `path`, which exists, is a folder (following links, as a path
// lookup does).
void requireFolder(const std::string& path, const std::string& shown) {
  struct stat status {};
  if (::stat(path.c_str(), &status) != 0)
    throwSystemError("Could not create the folder", shown, errno);
  if (!S_ISDIR(status.st_mode)) throwSystemError("Could not create the folder", shown, ENOTDIR);
}

void removeInside(int parent, const std::string& name, const std::string& path);

struct CloseListing {
  void operator()(DIR* listing) const { ::closedir(listing); }
};
using Listing = std::unique_ptr<DIR, CloseListing>;

// The names in the open `folder`, whose descriptor the listing then owns.
Listing listNames(FileHandle folder, const std::string& path, std::vector<std::string>& names) {
  Listing listing(::fdopendir(folder.descriptor()));
  if (!listing) throwSystemError("Could not list the folder", path, errno);
  folder.release();
  // Only readdir's own errno tells its end from its failure: keeping a name may
  // allocate, and a successful allocation may set errno too.
  for (;;) {
    errno = 0;
    dirent* entry = ::readdir(listing.get());
    if (!entry && errno) throwSystemError("Could not list the folder", path, errno);
    if (!entry) return listing;
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(name);
  }
}

// Removes everything in the open `folder`, made writable and searchable by its
// owner first: a read-only folder unpacked from an archive is emptied too.
void removeChildren(FileHandle folder, const std::string& path) {
  struct stat status {};
  if (::fstat(folder.descriptor(), &status) == 0 && (status.st_mode & 0300) != 0300)
    ::fchmod(folder.descriptor(), static_cast<mode_t>((status.st_mode & 07777) | 0700));
  std::vector<std::string> names;
  Listing listing = listNames(std::move(folder), path, names);
  for (const auto& name : names) removeInside(::dirfd(listing.get()), name, path + "/" + name);
}

// Removes `name` in the folder `parent` (or the path `name` with AT_FDCWD); a
// link is removed itself, never followed.
void removeInside(int parent, const std::string& name, const std::string& path) {
  if (::unlinkat(parent, name.c_str(), 0) == 0) return;
  if (errno != EISDIR && errno != EPERM) throwSystemError("Could not remove", path, errno);
  FileHandle folder(::openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC),
                    path);
  if (folder.descriptor() < 0) throwSystemError("Could not remove", path, folder.error());
  removeChildren(std::move(folder), path);
  if (::unlinkat(parent, name.c_str(), AT_REMOVEDIR) != 0)
    throwSystemError("Could not remove", path, errno);
}

// Opens the file itself, never waiting: a fifo planted at the path would block a
// plain open until someone wrote to it. Anything but a regular file is refused.
FileHandle openFile(const std::string& path, int flags, const char* action, struct stat& status) {
  FileHandle file(::open(path.c_str(), flags | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), path);
  if (file.descriptor() < 0) throwSystemError(action, path, file.error());
  if (::fstat(file.descriptor(), &status) != 0) throwSystemError(action, path, errno);
  if (!S_ISREG(status.st_mode)) throw PlatformError(action, path, "Not a regular file");
  return file;
}

// The folder at `path`, opened to act inside it; a link there is followed.
FileHandle openFolder(const std::string& path) {
  return FileHandle(::open(path.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC), path);
}

// Reads what `fd` has next into `bytes`; returns the number of bytes read, 0 at
// the file's end.
std::size_t readSome(int fd, std::span<std::uint8_t> bytes, const std::string& path) {
  ssize_t n = ::read(fd, bytes.data(), bytes.size());
  if (n < 0) throwSystemError("Could not read", path, errno);
  return static_cast<std::size_t>(n);
}

// Reads from `fd` into `bytes`, growing it while the file grows; returns the
// number of bytes in it.
std::size_t readAll(int fd, FileContent& bytes, const std::string& path) {
  for (std::size_t size = 0;;) {
    if (size == bytes.size()) bytes.resize(bytes.size() * 2 + 1);
    std::size_t n = readSome(fd, std::span(bytes).subspan(size), path);
    if (n == 0) return size;
    size += n;
  }
}

// The pieces readPieces hands on: large enough that the system reads ahead and
// hashing runs at full speed, small enough to hold beside anything.
constexpr std::size_t pieceSize = std::size_t{1} << 20;

}  // namespace

Location FileManager::home() {
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return Location(home);
  return Location(homeFromPasswordDatabase(home));
}

std::optional<Attributes> FileManager::attributes(const Location& location, Links links) {
  struct stat status {};
  const char* path = location.path().c_str();
  if ((links == Links::refuse ? ::lstat(path, &status) : ::stat(path, &status)) != 0)
    return std::nullopt;
  ItemType type = S_ISLNK(status.st_mode)   ? ItemType::link
                  : S_ISDIR(status.st_mode) ? ItemType::folder
                  : S_ISREG(status.st_mode) ? ItemType::file
                                            : ItemType::other;
  // The database is asked only for another's name: the link guard examines every
  // folder up to "/".
  bool ours = status.st_uid == ::geteuid();
  return Attributes{type, status.st_mode & 07777u, ours, ours ? "" : accountName(status.st_uid)};
}

void FileManager::createFolder(const Location& location, bool intermediates, unsigned mode) {
  const std::string& path = location.path();
  if (!intermediates) {
    if (!makeFolder(path, mode, path))
      throwSystemError("Could not create the folder", path, EEXIST);
    return;
  }
  // Every folder from the top down; existing folders are left as they are.
  for (std::size_t end = path.find('/', 1);; end = path.find('/', end + 1)) {
    std::string prefix = path.substr(0, end);
    if (!makeFolder(prefix, mode, path)) requireFolder(prefix, path);
    if (end == std::string::npos) return;
  }
}

std::optional<Space> FileManager::space(const Location& location) {
  for (Location current = location;; current = current.parent()) {
    Space space{};
    int code = freeSpace(current.path(), space);
    if (code == 0) return space;
    if ((code != ENOENT && code != ENOTDIR) || current.path() == "/") return std::nullopt;
  }
}

// The file has the name of an atomic write's temporary file only until it is
// unlinked: one a kill leaves in between is removed by the next run.
bool FileManager::quotaReached(const Location& folder, std::uint64_t bytes) {
  std::string path = folder.append(".space.tmp-XXXXXX").path();
  FileHandle file(::mkostemp(path.data(), O_CLOEXEC), path);
  if (file.descriptor() < 0) return file.error() == EDQUOT;
  ::unlink(path.c_str());
  return reserve(file.descriptor(), bytes) == EDQUOT;
}

void FileManager::setMode(const Location& location, unsigned mode) {
  if (int code = setModeRefusingLinks(location.path(), mode))
    throwSystemError("Could not set the permissions of", location.path(), code);
}

// By its path, so that a folder whose items lie on its top level is removed with
// one descriptor: a run that has used all its descriptors but one still cleans up.
void FileManager::remove(const Location& location) {
  removeInside(AT_FDCWD, location.path(), location.path());
}

std::vector<std::string> FileManager::names(const Location& folder) {
  FileHandle opened = openFolder(folder.path());
  if (opened.descriptor() < 0)
    throwSystemError("Could not list the folder", folder.path(), opened.error());
  std::vector<std::string> names;
  listNames(std::move(opened), folder.path(), names);
  return names;
}

// The lock is tried every tenth of a second: a wait in flock itself would not wake
// for a request to stop, which stays blocked but while the program waits.
FileHandle FileManager::lock(const Location& folder) {
  FileHandle opened = openFolder(folder.path());
  if (opened.descriptor() < 0) throwSystemError("Could not lock", folder.path(), opened.error());
  while (::flock(opened.descriptor(), LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) throwSystemError("Could not lock", folder.path(), errno);
    (void)waitForSignal(-1, 0, std::chrono::milliseconds(100),
                        "Could not lock \"" + folder.path() + "\"");
    raiseIfInterrupted();
  }
  return opened;
}

FileContent FileManager::read(const Location& location, Links links) {
  const std::string& path = location.path();
  struct stat status {};
  FileHandle file = openFile(path, O_RDONLY | (links == Links::refuse ? O_NOFOLLOW : 0),
                             "Could not read", status);
  FileContent bytes(static_cast<std::size_t>(status.st_size) + 1);
  bytes.resize(readAll(file.descriptor(), bytes, path));
  return bytes;
}

void FileManager::readPieces(const Location& location, Links links,
                             const std::function<void(std::span<const std::uint8_t>)>& take) {
  const std::string& path = location.path();
  struct stat status {};
  FileHandle file = openFile(path, O_RDONLY | (links == Links::refuse ? O_NOFOLLOW : 0),
                             "Could not read", status);
  FileContent piece(pieceSize);
  while (std::size_t n = readSome(file.descriptor(), piece, path)) take({piece.data(), n});
}

FileContent FileManager::readEnd(const Location& location, std::size_t count) {
  const std::string& path = location.path();
  struct stat status {};
  FileHandle file = openFile(path, O_RDONLY | O_NOFOLLOW, "Could not read", status);
  auto size = static_cast<std::size_t>(status.st_size);
  if (size > count && ::lseek(file.descriptor(), static_cast<off_t>(size - count), SEEK_SET) < 0)
    throwSystemError("Could not read", path, errno);
  FileContent bytes(std::min(size, count) + 1);
  bytes.resize(readAll(file.descriptor(), bytes, path));
  // The file grew while it was read: its end is the last `count` bytes.
  if (bytes.size() > count)
    bytes.erase(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(count));
  return bytes;
}

void FileManager::write(const Location& location, std::span<const std::uint8_t> bytes) {
  const std::string& path = location.path();
  // Appended, not joined by +: GCC 12 warns of the insert that + may make
  // (-Wrestrict), wrongly.
  std::string name = ".";
  std::string temporary =
      location.parent().append(name.append(location.name()).append(".tmp-XXXXXX")).path();
  // mkostemp creates the file exclusively with mode 0600 narrowed by the umask, so
  // never wider than 0600.
  FileHandle file(::mkostemp(temporary.data(), O_CLOEXEC), path);
  if (file.descriptor() < 0) throwSystemError("Could not write", path, file.error());
  try {
    if (int code = writeAll(file.descriptor(),
                            {reinterpret_cast<const char*>(bytes.data()), bytes.size()}))
      throwSystemError("Could not write", path, code);
    // Durable before it takes the name: a crash never leaves the name on a file
    // whose content was not yet written.
    syncFile(file.descriptor(), path);
    file.close();
    // rename replaces a link at the destination instead of following it.
    if (::rename(temporary.c_str(), path.c_str()) != 0)
      throwSystemError("Could not write", path, errno);
  } catch (...) {
    ::unlink(temporary.c_str());
    throw;
  }
  syncFolder(location.parent().path());
}

FileHandle FileManager::openForWriting(const Location& location) {
  struct stat status {};
  FileHandle file =
      openFile(location.path(), O_WRONLY | O_NOFOLLOW, "Could not open for writing", status);
  // Children write through this handle as a plain, blocking one.
  if (::fcntl(file.descriptor(), F_SETFL, 0) != 0)
    throwSystemError("Could not open for writing", location.path(), errno);
  return file;
}

}  // namespace tovren
