// ditto: the zip unpacker shipped beside the setup program.
//
//   ditto -x -k ARCHIVE FOLDER
//
// Extracts the zip archive's entries into FOLDER, which must exist and must not be
// a symbolic link. The archive's listing is checked before anything is written
// (see zip_listing.h), and an archive that declares more bytes, or more entries,
// than the folder's file system has room for is refused. The symbolic links are
// made last, once every one is known to lead to a place inside the folder and
// none has entries beneath it (see unpacked_links.h); nothing is ever written
// through one. Exits 0, or writes a one-line reason to standard error and exits
// non-zero.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "platform/file_handle.h"
#include "tovren/constants.h"
#include "unpacker/unpacked_links.h"
#include "unpacker/zip_listing.h"

namespace ditto {

namespace {

using tovren::FileHandle;

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;
using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;

// The library's reason for a failed read, or the system's for a failed write.
std::string reason(archive* a, bool system) {
  int code = archive_errno(a);
  if (system && code > 0) return std::strerror(code);
  const char* text = archive_error_string(a);
  return text ? text : "failed";
}

void checkRead(archive* reader, int status) {
  if (status < ARCHIVE_WARN) throw Refusal("cannot read the archive: " + reason(reader, false));
}

// A write the library reports as a mere warning, such as a full disk, fails too.
void checkWrite(archive* writer, la_ssize_t status, const std::string& name) {
  if (status != ARCHIVE_OK)
    throw Refusal("cannot unpack \"" + shown(name) + "\": " + reason(writer, true));
}

// The archive, opened without waiting on a fifo and refused unless it is a file.
FileHandle openArchive(const char* path) {
  FileHandle zip(::open(path, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC), path);
  struct stat status {};
  if (zip.descriptor() < 0) throw Refusal(std::strerror(zip.error()));
  if (::fstat(zip.descriptor(), &status) != 0) {
    int code = errno;
    throw Refusal(std::strerror(code));
  }
  if (!S_ISREG(status.st_mode)) throw Refusal("it is not a regular file");
  return zip;
}

// Enters the folder itself, never a link in its place.
FileHandle enterFolder(const char* path) {
  FileHandle folder(::open(path, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC), path);
  int code = folder.error();
  struct stat status {};
  if (folder.descriptor() < 0 && ::lstat(path, &status) == 0 && S_ISLNK(status.st_mode))
    throw Refusal("it is a symbolic link");
  if (folder.descriptor() < 0) throw Refusal(std::strerror(code));
  if (::fchdir(folder.descriptor()) != 0) {
    code = errno;
    throw Refusal(std::strerror(code));
  }
  return folder;
}

// The listing's declared sizes, added up, and its entries counted; refused before
// anything is written when the folder's file system has less room, or when the
// sum passes what any can hold.
void requireRoom(int folder, const std::vector<ListedEntry>& entries) {
  std::uint64_t needed = 0;
  for (const auto& entry : entries) {
    if (entry.size > UINT64_MAX - needed)
      throw Refusal("it unpacks to more bytes than any disk holds");
    needed += entry.size;
  }
  struct statvfs space {};
  if (::fstatvfs(folder, &space) != 0) return;  // the writes will tell
  std::uint64_t free = std::uint64_t{space.f_bavail} * space.f_frsize;
  if (needed > free)
    throw Refusal("it unpacks to " + std::to_string(needed) + " bytes, but the folder has only " +
                  std::to_string(free) + " bytes free");
  // A file system that counts its files (f_files) has room for f_favail more.
  if (space.f_files != 0 && entries.size() > space.f_favail)
    throw Refusal("it unpacks to " + std::to_string(entries.size()) +
                  (entries.size() == 1 ? " file" : " files") +
                  ", but the folder has room for only " + std::to_string(space.f_favail) + " more");
}

// Refuses what the listing could not show, a hard link, and notes the entry;
// a symbolic link with an absolute target is refused at once. Returns whether
// the entry is a symbolic link.
bool vet(archive_entry* entry, const std::string& name, UnpackedLinks& links) {
  if (archive_entry_hardlink(entry))
    throw Refusal("refusing entry \"" + shown(name) + "\": it is a hard link");
  // Keep the permission bits, never set-user-ID, set-group-ID or sticky bits.
  archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
  if (archive_entry_filetype(entry) != AE_IFLNK) {
    links.add(name);
    return false;
  }
  const char* target = archive_entry_symlink(entry);
  links.add(name, target ? target : "");
  return true;
}

// A symbolic link as the archive has it, to be made once all are checked.
struct Deferred {
  std::string name, target;
  std::optional<timespec> modified;

  Deferred(archive_entry* entry, const std::string& path) : name(path) {
    if (const char* text = archive_entry_symlink(entry)) target = text;
    if (archive_entry_mtime_is_set(entry))
      modified = {archive_entry_mtime(entry), archive_entry_mtime_nsec(entry)};
  }

  void make(archive* writer) const {
    std::unique_ptr<archive_entry, decltype(&archive_entry_free)> entry(archive_entry_new(),
                                                                        &archive_entry_free);
    archive_entry_copy_pathname(entry.get(), name.c_str());
    archive_entry_set_filetype(entry.get(), AE_IFLNK);
    archive_entry_set_perm(entry.get(), 0777);
    archive_entry_copy_symlink(entry.get(), target.c_str());
    if (modified) archive_entry_set_mtime(entry.get(), modified->tv_sec, modified->tv_nsec);
    checkWrite(writer, archive_write_header(writer, entry.get()), name);
    checkWrite(writer, archive_write_finish_entry(writer), name);
  }
};

// A maker that keeps no file type (MS-DOS, as jar and Java's zip writer are)
// marks a folder by its name's final "/". The library looks for it in the name
// converted to this program's character set, and misses it where the conversion
// fails (a UTF-8 name in the C locale); the listing's own bytes tell.
void asFolderByItsName(archive_entry* entry, const std::string& name) {
  if (name.ends_with('/') && archive_entry_filetype(entry) == AE_IFREG &&
      archive_entry_size(entry) == 0) {
    archive_entry_set_filetype(entry, AE_IFDIR);
    archive_entry_set_perm(entry, 0775);  // as the library gives such a folder
  }
}

void copyData(archive* reader, archive* writer, const ListedEntry& listed) {
  const void* block;
  size_t size;
  la_int64_t offset;
  for (int status;
       (status = archive_read_data_block(reader, &block, &size, &offset)) != ARCHIVE_EOF;) {
    // A damaged entry (a checksum that does not match) is only a warning to the
    // library; here it ends the unpacking.
    if (status != ARCHIVE_OK) checkRead(reader, ARCHIVE_FAILED);
    if (offset < 0 || static_cast<std::uint64_t>(offset) + size > listed.size)
      throw Refusal("refusing entry \"" + shown(listed.name) + "\": it holds more than the " +
                    std::to_string(listed.size) + " bytes it declares");
    checkWrite(writer, archive_write_data_block(writer, block, size, offset), listed.name);
  }
}

// Writes entries into the current folder, refusing any path through a link
// or outside it, and any entry where another is.
Writer diskWriter() {
  Writer writer(archive_write_disk_new(), &archive_write_free);
  archive_write_disk_set_options(
      writer.get(), ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                        ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS |
                        ARCHIVE_EXTRACT_NO_OVERWRITE);
  return writer;
}

void extract(int zip, const std::vector<ListedEntry>& entries) {
  Reader reader(archive_read_new(), &archive_read_free);
  Writer writer = diskWriter();
  // Only a complete archive: its central directory names every entry, in the
  // order of their data, as the listing has them.
  archive_read_support_format_zip_seekable(reader.get());
  checkRead(reader.get(), archive_read_open_fd(reader.get(), zip, 65536));
  std::size_t next = 0;
  UnpackedLinks links;
  std::vector<Deferred> symbolicLinks;
  archive_entry* entry;
  for (int status; (status = archive_read_next_header(reader.get(), &entry)) != ARCHIVE_EOF;
       ++next) {
    // A name the library cannot convert is only a warning: the listing's own
    // bytes are the name.
    checkRead(reader.get(), status);
    if (next == entries.size()) refuseAsDamaged();
    const ListedEntry& listed = entries[next];
    // "./": the folder, which is there.
    if (listed.name.empty()) {
      checkRead(reader.get(), archive_read_data_skip(reader.get()));
      continue;
    }
    archive_entry_copy_pathname(entry, listed.name.c_str());
    asFolderByItsName(entry, listed.name);
    if (vet(entry, listed.name, links)) {
      symbolicLinks.emplace_back(entry, listed.name);
      checkRead(reader.get(), archive_read_data_skip(reader.get()));
      continue;
    }
    checkWrite(writer.get(), archive_write_header(writer.get(), entry), listed.name);
    copyData(reader.get(), writer.get(), listed);
    checkWrite(writer.get(), archive_write_finish_entry(writer.get()), listed.name);
  }
  if (next != entries.size()) refuseAsDamaged();
  links.check();
  for (const auto& link : symbolicLinks) link.make(writer.get());
  checkWrite(writer.get(), archive_write_close(writer.get()), ".");
}

}  // namespace

}  // namespace ditto

int main(int argc, char** argv) {
  using namespace ditto;
  if (argc != 5 || std::string_view(argv[1]) != "-x" || std::string_view(argv[2]) != "-k") {
    std::fprintf(stderr, "usage: ditto -x -k ARCHIVE FOLDER\n");
    return tovren::constants::usageStatus;
  }
  auto fail = [](const char* path, const std::exception& error) {
    std::fprintf(stderr, "ditto: %s: %s\n", shown(path).c_str(), error.what());
    return 1;
  };
  // Folders made on the way get their owner's bits whatever the umask, so what
  // goes in them can be written.
  ::umask(::umask(0) & 077);
  std::optional<FileHandle> zip, folder;
  try {
    zip.emplace(openArchive(argv[3]));
  } catch (const Refusal& refusal) {
    return fail(argv[3], refusal);
  }
  try {
    folder.emplace(enterFolder(argv[4]));
  } catch (const Refusal& refusal) {
    return fail(argv[4], refusal);
  }
  try {
    std::vector<ListedEntry> entries = readListing(zip->descriptor());
    requireRoom(folder->descriptor(), entries);
    extract(zip->descriptor(), entries);
  } catch (const std::exception& error) {
    return fail(argv[3], error);
  }
  return 0;
}
