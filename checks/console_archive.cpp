#include "checks/console_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "checks/program_kind.h"
#include "tovren/constants.h"
#include "unpacker/unpacked_links.h"
#include "unpacker/zip_listing.h"

namespace tovren {

namespace {

const std::string consoleEntry(constants::consoleEntry);

[[noreturn]] void refuse(const std::string& shown, const std::string& reason) {
  throw std::runtime_error(shown + ": " + reason);
}

// Runs a check of the unpacker's: what the build accepts, the setup program can
// unpack.
template <typename Check>
auto asTheUnpacker(const std::string& shown, Check check) {
  try {
    return check();
  } catch (const ditto::Refusal& refusal) {
    refuse(shown, refusal.what());
  }
}

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;

[[noreturn]] void damaged(archive* reader, const std::string& shown) {
  const char* reason = archive_error_string(reader);
  refuse(shown, std::string("the archive is damaged: ") +
                    (reason ? reason : "the archive library failed"));
}

// The whole content of the entry the reader is at.
Bytes contentOfEntry(archive* reader, const std::string& shown) {
  Bytes content;
  char buffer[65536];
  la_ssize_t n;
  while ((n = archive_read_data(reader, buffer, sizeof buffer)) > 0)
    content.insert(content.end(), buffer, buffer + n);
  if (n < 0) damaged(reader, shown);
  return content;
}

// What the Finder's compression adds beside the files: their attributes.
bool finders(const std::string& name) {
  return name == "__MACOSX" || name.starts_with("__MACOSX/");
}

// Appended, not joined by +: GCC 12 warns of the insert that + may make
// (-Wrestrict), wrongly.
std::string quoted(const std::string& name) {
  std::string text = "\"";
  return text.append(ditto::shown(name)).append("\"");
}

std::string listed(const std::vector<std::string>& names) {
  std::string text;
  for (const auto& name : names) text += (text.empty() ? "" : ", ") + quoted(name);
  return text;
}

// Why an archive with `names` (its entries but the Finder's) carries no console,
// with what its top level holds and how to mend a near miss.
[[noreturn]] void noConsole(const std::string& shown, const std::vector<std::string>& names) {
  std::set<std::string> top;
  std::string miss;
  for (const auto& name : names) {
    auto slash = name.find('/');
    top.insert(slash == std::string::npos ? name : name.substr(0, slash + 1));
    std::string last = name.substr(name.rfind('/', name.size() - 2) + 1);
    std::string lower = last;
    std::transform(lower.begin(), lower.end(), lower.begin(), ::tolower);
    if (last == consoleEntry && slash != std::string::npos && miss.empty())
      miss = "; " + quoted(name) + " lies in a folder: zip the file itself, as in: cd " +
             name.substr(0, name.size() - last.size() - 1) + " && zip ../console.zip " + last;
    else if (lower == consoleEntry && slash == std::string::npos)
      miss = "; " + quoted(name) + " differs only in letter case: name the console " + consoleEntry;
  }
  std::string holds = top.empty() ? "nothing" : listed({top.begin(), top.end()});
  refuse(shown, "it has no top-level entry \"" + consoleEntry +
                    "\" for the console; its top level holds " + holds +
                    (miss.empty() ? "; put your console there as the file " + consoleEntry : miss));
}

// Refuses an archive of another kind than zip, which a vendor may have made by
// habit, naming it and how to make the zip.
void requireZip(const FileContent& bytes, const std::string& shown) {
  auto at = [&](std::size_t offset, std::string_view magic) {
    return bytes.size() >= offset + magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin() + static_cast<long>(offset),
                      [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
  };
  std::string kind = at(0, "\x1f\x8b") ? "a gzip file (a .tar.gz or .tgz)"
                     : at(0, "BZh")    ? "a bzip2 file (a .tar.bz2)"
                     : at(0,
                          "\xfd"
                          "7zXZ")
                         ? "an xz file (a .tar.xz)"
                     : at(0, "7z\xbc\xaf\x27\x1c") ? "a 7-Zip archive"
                     : at(257, "ustar")            ? "a tar archive"
                                                   : "";
  if (!kind.empty())
    refuse(shown, "it is " + kind +
                      ", not a zip archive: zip the console alone, as in: zip "
                      "console.zip " +
                      consoleEntry);
}

// The console's bytes, from its entry, which must be a file.
Bytes consoleFile(archive* reader, archive_entry* entry, const std::string& shown) {
  if (archive_entry_filetype(entry) == AE_IFLNK)
    refuse(shown, "its entry \"" + consoleEntry +
                      "\" is a symbolic link, as zip -y stores one: the console must be a "
                      "file; zip the console itself, without -y");
  if (archive_entry_filetype(entry) != AE_IFREG)
    refuse(shown, "its entry \"" + consoleEntry + "\" is not a file: the console must be one");
  return contentOfEntry(reader, shown);
}

}  // namespace

Bytes consoleIn(const FileContent& zip, const std::string& shown) {
  requireZip(zip, shown);
  std::vector<ditto::ListedEntry> listing = asTheUnpacker(shown, [&] {
    return ditto::readListing(
        std::string_view(reinterpret_cast<const char*>(zip.data()), zip.size()));
  });
  Reader reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_zip(reader.get());
  if (archive_read_open_memory(reader.get(), zip.data(), zip.size()) != ARCHIVE_OK)
    damaged(reader.get(), shown);
  ditto::UnpackedLinks links;
  std::optional<Bytes> console;
  std::vector<std::string> names, others;
  archive_entry* entry;
  for (std::size_t next = 0;; ++next) {
    int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status != ARCHIVE_OK || next == listing.size()) damaged(reader.get(), shown);
    const std::string& name = listing[next].name;
    const char* target = archive_entry_symlink(entry);
    asTheUnpacker(shown, [&] {
      archive_entry_filetype(entry) == AE_IFLNK ? links.add(name, target ? target : "")
                                                : links.add(name);
    });
    if (name.empty() || finders(name)) continue;
    names.push_back(name);
    if (name != consoleEntry) {
      others.push_back(name);
      continue;
    }
    console = consoleFile(reader.get(), entry, shown);
  }
  asTheUnpacker(shown, [&] { links.check(); });
  if (!console) noConsole(shown, names);
  if (!others.empty())
    refuse(shown, "it holds more than the console: " + listed(others) + "; setup installs only " +
                      consoleEntry + ", so users would never get the rest: pack " + consoleEntry +
                      " alone, with all it needs built in or made when it runs");
  return *console;
}

void requireRunsOn(const Bytes& console, const std::string& shown, std::string_view system,
                   std::string_view row) {
  ProgramKind kind = kindOf(console);
  std::string family = familyName(system, row), named = "its console \"" + consoleEntry + "\" is ";
  auto lineEnd = std::find(console.begin(), console.end(), '\n');
  if (kind.script && lineEnd != console.begin() && lineEnd != console.end() && lineEnd[-1] == '\r')
    refuse(shown, named +
                      "a script whose lines end with CR LF (Windows line ends): the system "
                      "would look for an interpreter whose name ends with CR, and users would "
                      "read \"No such file or directory\"; save it with LF line ends, as "
                      "dos2unix does");
  if (runsOn(kind, system, row)) return;
  if (!kind.script && kind.system.empty())
    refuse(shown, named + kind.description +
                      ": begin a script with a line that names its interpreter, as #!/bin/sh "
                      "does, or give your console built for " +
                      family);
  refuse(shown, named + kind.description + ", which does not run on " + family +
                    ": give the archive of your console built for " + family);
}

}  // namespace tovren
