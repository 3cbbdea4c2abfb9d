// ditto: the zip unpacker shipped beside the setup program.
//
//   ditto -x -k ARCHIVE FOLDER
//
// Extracts the zip archive's entries into FOLDER, which must exist. Any entry that
// would land outside FOLDER is refused rather than extracted: absolute paths, ".."
// components, links that lead out, and anything reached through a symbolic link.
// Exits 0, or writes a one-line reason to standard error and exits non-zero.
#include <archive.h>
#include <archive_entry.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <stdexcept>
#include <string>
#include <string_view>

namespace {

constexpr int usageStatus = 64;

// A refusal or failure, with the reason the user reads.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// A name inside the folder: relative, with no "." or ".." components.
bool staysInside(std::string_view name) {
  if (name.empty() || name.front() == '/') return false;
  std::size_t start = 0;
  while (start <= name.size()) {
    std::size_t end = name.find('/', start);
    if (end == std::string_view::npos) end = name.size();
    std::string_view part = name.substr(start, end - start);
    if (part == ".." || part == ".") return false;
    start = end + 1;
  }
  return true;
}

void check(archive* a, int status, const std::string& what) {
  if (status < ARCHIVE_WARN) throw Refusal(what + ": " + (archive_error_string(a) ? archive_error_string(a) : "failed"));
}

// Refuses an entry whose name or link target could reach outside the folder, and
// a second entry of the same name, which unpackers read in different ways.
void vet(archive_entry* entry, std::set<std::string>& seen) {
  const char* name = archive_entry_pathname(entry);
  std::string shown = name ? name : "";
  if (!name || !staysInside(name)) throw Refusal("refusing entry \"" + shown + "\": it would land outside the folder");
  std::string key = shown.ends_with("/") ? shown.substr(0, shown.size() - 1) : shown;
  if (!seen.insert(key).second) throw Refusal("refusing entry \"" + shown + "\": the archive holds it twice");
  if (const char* target = archive_entry_hardlink(entry); target && !staysInside(target))
    throw Refusal("refusing entry \"" + shown + "\": its hard link leads outside the folder");
  if (archive_entry_filetype(entry) == AE_IFLNK) {
    const char* target = archive_entry_symlink(entry);
    if (!target || !staysInside(target))
      throw Refusal("refusing entry \"" + shown + "\": its symbolic link leads outside the folder");
  }
  // Keep the permission bits, never set-user-ID, set-group-ID or sticky bits.
  archive_entry_set_perm(entry, archive_entry_perm(entry) & 0777);
}

void copyData(archive* reader, archive* writer) {
  const void* block;
  size_t size;
  la_int64_t offset;
  for (;;) {
    int status = archive_read_data_block(reader, &block, &size, &offset);
    if (status == ARCHIVE_EOF) return;
    // A damaged entry (a checksum that does not match) is only a warning to the
    // library; here it ends the unpacking.
    if (status != ARCHIVE_OK) check(reader, ARCHIVE_FAILED, "cannot read the archive");
    check(writer, static_cast<int>(archive_write_data_block(writer, block, size, offset)), "cannot write");
  }
}

void extract(int zip) {
  archive* reader = archive_read_new();
  archive* writer = archive_write_disk_new();
  try {
    // Only a complete archive: its central directory names every entry.
    archive_read_support_format_zip_seekable(reader);
    archive_write_disk_set_options(writer, ARCHIVE_EXTRACT_PERM | ARCHIVE_EXTRACT_SECURE_SYMLINKS |
                                               ARCHIVE_EXTRACT_SECURE_NODOTDOT | ARCHIVE_EXTRACT_SECURE_NOABSOLUTEPATHS |
                                               ARCHIVE_EXTRACT_NO_OVERWRITE);
    check(reader, archive_read_open_fd(reader, zip, 65536), "cannot open the archive");
    archive_entry* entry;
    std::set<std::string> seen;
    for (int status; (status = archive_read_next_header(reader, &entry)) != ARCHIVE_EOF;) {
      check(reader, status, "cannot read the archive");
      vet(entry, seen);
      check(writer, archive_write_header(writer, entry), std::string("cannot extract \"") + archive_entry_pathname(entry) + "\"");
      copyData(reader, writer);
      check(writer, archive_write_finish_entry(writer), std::string("cannot extract \"") + archive_entry_pathname(entry) + "\"");
    }
    check(writer, archive_write_close(writer), "cannot finish extracting");
  } catch (...) {
    archive_read_free(reader);
    archive_write_free(writer);
    throw;
  }
  archive_read_free(reader);
  archive_write_free(writer);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 5 || std::string_view(argv[1]) != "-x" || std::string_view(argv[2]) != "-k") {
    std::fprintf(stderr, "usage: ditto -x -k ARCHIVE FOLDER\n");
    return usageStatus;
  }
  int zip = ::open(argv[3], O_RDONLY | O_CLOEXEC);
  if (zip < 0) {
    std::fprintf(stderr, "ditto: %s: %s\n", argv[3], std::strerror(errno));
    return 1;
  }
  // Entries are extracted relative to the folder, so the secure flags see every
  // name as it stands in the archive.
  if (::chdir(argv[4]) != 0) {
    std::fprintf(stderr, "ditto: %s: %s\n", argv[4], std::strerror(errno));
    return 1;
  }
  try {
    extract(zip);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "ditto: %s: %s\n", argv[3], error.what());
    return 1;
  }
  return 0;
}
