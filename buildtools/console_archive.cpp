#include "buildtools/console_archive.h"

#include <archive.h>
#include <archive_entry.h>

#include <algorithm>
#include <memory>
#include <optional>
#include <set>
#include <stdexcept>
#include <vector>

#include "buildtools/program_kind.h"
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

std::string quoted(const std::string& name) { return "\"" + ditto::shown(name) + "\""; }

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

}  // namespace

Bytes consoleIn(const FileContent& zip, const std::string& shown) {
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
    if (archive_entry_filetype(entry) == AE_IFLNK)
      asTheUnpacker(shown, [&] { links.add(name, target ? target : ""); });
    if (name.empty() || finders(name)) continue;
    names.push_back(name);
    if (name != consoleEntry) {
      others.push_back(name);
      continue;
    }
    if (archive_entry_filetype(entry) != AE_IFREG)
      refuse(shown, "its entry \"" + consoleEntry + "\" is not a file: the console must be one");
    console = contentOfEntry(reader.get(), shown);
  }
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
  if (runsOn(kind, system, row)) return;
  std::string family = familyName(system, row);
  refuse(shown, "its console \"" + consoleEntry + "\" is " + kind.description +
                    ", which does not run on " + family +
                    ": give the archive of your console built for " + family);
}

}  // namespace tovren
