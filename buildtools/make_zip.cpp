// make_zip: writes a reproducible zip archive. The same inputs give the same bytes
// whoever runs it and whatever the umask: every entry has a fixed time, owner
// and mode.
//
//   make_zip OUTPUT ENTRY...
//   ENTRY is  NAME=PATH           a file with PATH's content, mode 0755
//             dir:NAME            a folder
//             symlink:NAME=TARGET a symbolic link
//             hardlink:NAME=TARGET a hard link to an earlier entry
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>

#include "checks/tool_files.h"
#include "tovren/constants.h"

namespace {

constexpr long fixedTime = 315532800;  // 1980-01-01, the first time zip can store

using Writer = std::unique_ptr<archive, decltype(&archive_write_free)>;
using Entry = std::unique_ptr<archive_entry, decltype(&archive_entry_free)>;

[[noreturn]] void fail(archive* zip) {
  const char* reason = archive_error_string(zip);
  throw std::runtime_error(reason ? reason : "the archive library failed");
}

void check(archive* zip, la_ssize_t status) {
  if (status < ARCHIVE_WARN) fail(zip);
}

void add(archive* zip, const std::string& entryText) {
  std::string kind, rest = entryText;
  if (auto colon = entryText.find(':'); colon != std::string::npos && entryText.find('=') > colon) {
    kind = entryText.substr(0, colon);
    rest = entryText.substr(colon + 1);
  }
  auto equals = rest.find('=');
  std::string name = rest.substr(0, equals);
  std::string value = equals == std::string::npos ? "" : rest.substr(equals + 1);

  Entry owned(archive_entry_new(), &archive_entry_free);
  archive_entry* entry = owned.get();
  archive_entry_set_pathname(entry, name.c_str());
  archive_entry_set_mtime(entry, fixedTime, 0);
  archive_entry_set_uid(entry, 0);
  archive_entry_set_gid(entry, 0);
  tovren::FileContent data;
  if (kind.empty()) {
    data = tovren::contentOf(value);
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0755);
    archive_entry_set_size(entry, static_cast<la_int64_t>(data.size()));
  } else if (kind == "dir") {
    archive_entry_set_filetype(entry, AE_IFDIR);
    archive_entry_set_perm(entry, 0755);
  } else if (kind == "symlink") {
    archive_entry_set_filetype(entry, AE_IFLNK);
    archive_entry_set_perm(entry, 0777);
    archive_entry_set_symlink(entry, value.c_str());
  } else if (kind == "hardlink") {
    archive_entry_set_filetype(entry, AE_IFREG);
    archive_entry_set_perm(entry, 0755);
    archive_entry_set_hardlink(entry, value.c_str());
  } else {
    throw std::runtime_error("unknown entry kind: " + kind);
  }
  check(zip, archive_write_header(zip, entry));
  if (!data.empty()) check(zip, archive_write_data(zip, data.data(), data.size()));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: make_zip OUTPUT ENTRY...\n");
    return tovren::constants::usageStatus;
  }
  try {
    Writer zip(archive_write_new(), &archive_write_free);
    check(zip.get(), archive_write_set_format_zip(zip.get()));
    check(zip.get(), archive_write_zip_set_compression_deflate(zip.get()));
    check(zip.get(), archive_write_open_filename(zip.get(), argv[1]));
    for (int i = 2; i < argc; ++i) add(zip.get(), argv[i]);
    check(zip.get(), archive_write_close(zip.get()));
  } catch (const std::exception& error) {
    std::fprintf(stderr, "make_zip: %s\n", error.what());
    std::remove(argv[1]);
    return 1;
  }
  return 0;
}
