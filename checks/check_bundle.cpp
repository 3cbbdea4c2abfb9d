// check_bundle: checks a finished bundle before it ships, against the manifest
// compiled into its own program.
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
#include <nlohmann/json.hpp>
#include <stdexcept>
#include <string>
#include <vector>

#include "checks/code_signature.h"
#include "checks/console_archive.h"
#include "checks/program_kind.h"
#include "checks/tool_files.h"
#include "manifest/setup_manifest.h"
#include "platform/sha256.h"
#include "support/base64.h"
#include "support/error.h"
#include "tovren/constants.h"

namespace {

using tovren::Bytes;
namespace fs = std::filesystem;

const char* const usage =
    "usage: check_bundle [--json] [--notarize] BUNDLE\n"
    "\n"
    "Checks a finished bundle against the manifest compiled into its setup program:\n"
    "for each processor family, the archive's SHA-256, the SHA-256 of the console\n"
    "inside it, that the console runs on the family, that no program is cut short,\n"
    "and how each Mach-O program is signed (an Arm one must be). BUNDLE is a\n"
    "TOVREN.app folder, or a zip or tar.gz that holds one (a Finder or ditto zip\n"
    "with __MACOSX/ beside it too).\n"
    "\n"
    "  --json      one JSON record per family instead of one line\n"
    "  --notarize  also refuse any Mach-O program not signed with a certificate,\n"
    "              with the hardened runtime and a secure time-stamp\n"
    "\n"
    "Exit status: 0 all hold, 1 a check failed, 2 BUNDLE could not be read,\n"
    "64 the command line is wrong.\n";

const std::string program = "Contents/MacOS/tovren-setup", resources = "Contents/Resources/";

// The bundle's files by their paths inside it.
using Files = std::map<std::string, Bytes>;

// A bundle that cannot be read at all: status 2.
struct Unreadable : std::runtime_error {
  using std::runtime_error::runtime_error;
};

Bytes bytesOf(const std::string& path) {
  tovren::FileContent content = tovren::contentOf(path);
  return Bytes(content.begin(), content.end());
}

Files fromFolder(const std::string& folder) {
  Files files;
  files[program] = bytesOf(folder + "/" + program);
  for (const auto& item : fs::directory_iterator(folder + "/" + resources))
    if (item.is_regular_file())
      files[resources + item.path().filename().string()] = bytesOf(item.path());
  return files;
}

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;

// The files of the one X.app in the zip or tar archive at `path`; what the
// Finder's Compress or ditto --sequesterRsrc keep in __MACOSX/ beside it is not
// the bundle's.
Files fromArchive(const std::string& path) {
  Reader reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_zip(reader.get());
  archive_read_support_format_tar(reader.get());
  archive_read_support_filter_gzip(reader.get());
  auto failed = [&] { return Unreadable(path + ": " + archive_error_string(reader.get())); };
  if (archive_read_open_filename(reader.get(), path.c_str(), 1 << 16) != ARCHIVE_OK) throw failed();
  Files files;
  std::string app;
  archive_entry* entry;
  for (int status; (status = archive_read_next_header(reader.get(), &entry)) != ARCHIVE_EOF;) {
    if (status != ARCHIVE_OK) throw failed();
    std::string name = archive_entry_pathname(entry);
    auto at = name.find(".app/Contents/");
    if (name.starts_with("__MACOSX/") || at == std::string::npos ||
        archive_entry_filetype(entry) != AE_IFREG)
      continue;
    if (!app.empty() && name.substr(0, at) != app)
      throw Unreadable(path + ": it holds more than one bundle");
    app = name.substr(0, at);
    Bytes& bytes = files[name.substr(at + 5)];
    char buffer[1 << 16];
    for (la_ssize_t n; (n = archive_read_data(reader.get(), buffer, sizeof buffer)) != 0;) {
      if (n < 0) throw failed();
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  }
  if (!files.count(program)) throw Unreadable(path + ": it holds no " + program);
  return files;
}

// The setup program's system and its programs by processor row: the slices of a
// Mach-O file, or the one ELF program.
struct Programs {
  std::string system;
  std::map<std::string, tovren::ProgramBytes> byRow;
};

Programs programsOf(const Bytes& setup) {
  tovren::ProgramKind kind = tovren::kindOf(setup);
  if (kind.processors.empty()) throw Unreadable(program + " is " + kind.description);
  Programs programs{kind.system, {}};
  if (kind.system != "macos") {
    programs.byRow[kind.processors[0]] = setup;
    return programs;
  }
  for (const tovren::Slice& slice : tovren::machSlices(setup))
    if (!slice.row.empty()) programs.byRow[slice.row] = slice.bytes;
  return programs;
}

// The manifest compiled into `slice`: the Base64 text after its marker.
tovren::SetupManifest manifestIn(tovren::ProgramBytes slice, const std::string& row) {
  const std::string_view marker = tovren::constants::manifestMarker;
  std::string_view text(reinterpret_cast<const char*>(slice.data()), slice.size());
  auto at = text.find(marker);
  if (at == std::string::npos) throw Unreadable(program + " (" + row + ") holds no manifest");
  text.remove_prefix(at + marker.size());
  return tovren::decodeManifest(std::string(text.substr(0, tovren::base64Length(text))));
}

// One family's findings.
struct Report {
  std::string family, archive, console;           // the console: what kind of program it is
  std::vector<std::string> mismatches;            // with the manifest
  std::vector<std::string> faults;                // of the programs themselves
  std::map<std::string, std::string> signatures;  // "setup" and "console", for macOS

  std::vector<std::string> problems() const {
    std::vector<std::string> all = mismatches;
    all.insert(all.end(), faults.begin(), faults.end());
    return all;
  }
};

// What a program's signature says to whoever ships it: none on Arm is refused,
// as macOS ends such a program at start; with `notarize`, anything notarization
// would refuse is.
void judgeSignature(tovren::ProgramBytes slice, const std::string& row, const std::string& role,
                    bool notarize, Report& report) {
  tovren::Signature signature = tovren::signatureOf(slice);
  report.signatures[role] = signature.description();
  std::string named = "the " + role + (role == "setup" ? " program" : "") + " (" + row + ") is ";
  if (row == "arm64" && signature.kind == tovren::Signature::Kind::none)
    report.faults.push_back(named +
                            "unsigned, and macOS ends an unsigned Arm program at start: sign it");
  else if (notarize && !signature.notarizable())
    report.faults.push_back(named + signature.description() +
                            ", which notarization refuses: sign it with your Developer ID "
                            "certificate, as codesign --options runtime --timestamp does");
}

// The console's slice of `row`: itself when thin.
tovren::ProgramBytes consoleSlice(const Bytes& console, const std::string& row) {
  for (const tovren::Slice& slice : tovren::machSlices(console))
    if (slice.row == row) return slice.bytes;
  return {};
}

void checkConsole(const Bytes& zipped, const tovren::SetupAsset& asset, const std::string& system,
                  const std::string& row, bool notarize, Report& report) {
  tovren::FileContent zip(zipped.begin(), zipped.end());
  Bytes console = tovren::consoleIn(zip, asset.archive);
  report.console = tovren::kindOf(console).description;
  if (std::string text = tovren::sha256Text(console); text != asset.binary_sha256)
    report.mismatches.push_back("its console's SHA-256 is " + text + ", the manifest's " +
                                asset.binary_sha256);
  tovren::requireRunsOn(console, asset.archive, system, row);
  if (std::string damage = tovren::damageOf(console); !damage.empty())
    report.faults.push_back("its console is damaged: " + damage);
  else if (system == "macos" && !tovren::kindOf(console).script)
    judgeSignature(consoleSlice(console, row), row, "console", notarize, report);
}

Report checkFamily(const Files& files, const tovren::SetupManifest& manifest,
                   const Programs& programs, const tovren::constants::Row& row, bool notarize) {
  std::string family = tovren::familyName(programs.system, row.architectureWord);
  Report report{family.substr(0, family.find(" (")), std::string(row.archive), "", {}, {}, {}};
  const std::string word(row.architectureWord);
  if (auto setup = programs.byRow.find(word); setup != programs.byRow.end()) {
    if (std::string damage = tovren::damageOf(setup->second); !damage.empty())
      report.faults.push_back("the setup program is damaged: " + damage);
    else if (programs.system == "macos")
      judgeSignature(setup->second, word, "setup", notarize, report);
  }
  auto entry = manifest.platforms.find(std::string(row.platformKey));
  if (entry == manifest.platforms.end())
    return report.mismatches.push_back("the manifest has no entry for it"), report;
  const tovren::SetupAsset& asset = entry->second;
  report.archive = asset.archive;
  auto zip = files.find(resources + asset.archive);
  if (zip == files.end())
    return report.mismatches.push_back("the bundle has no " + resources + asset.archive), report;
  if (std::string digest = tovren::sha256Text(zip->second); digest != asset.sha256) {
    report.mismatches.push_back(asset.archive + "'s SHA-256 is " + digest + ", the manifest's " +
                                asset.sha256);
    for (const auto& [key, other] : manifest.platforms)
      if (key != row.platformKey && other.sha256 == digest)
        report.mismatches.push_back("it is the archive the manifest names for " + key +
                                    ": the archives are swapped");
  }
  try {
    checkConsole(zip->second, asset, programs.system, word, notarize, report);
  } catch (const std::runtime_error& refused) {
    report.mismatches.push_back(refused.what());
  }
  return report;
}

std::string joined(const std::vector<std::string>& items) {
  std::string text;
  for (const auto& item : items) text += (text.empty() ? "" : "; ") + item;
  return text;
}

// One line: ok, with how its programs are signed, or what does not hold.
std::string line(const Report& report, const std::string& version) {
  std::string signatures;
  for (const auto& [role, signature] : report.signatures)
    signatures += "; the " + role + (role == "setup" ? " program" : "") + " is " + signature;
  if (report.problems().empty())
    return report.family + ": ok: " + report.archive + " and its console, " + report.console +
           ", match the manifest of version " + version + signatures;
  if (report.mismatches.empty()) return report.family + ": not ok: " + joined(report.faults);
  return report.family + ": " + report.archive + " does not match the manifest of version " +
         version + ": " + joined(report.problems());
}

nlohmann::json record(const Report& report, const std::string& version) {
  return {{"family", report.family},    {"archive", report.archive},
          {"version", version},         {"ok", report.problems().empty()},
          {"console", report.console},  {"signatures", report.signatures},
          {"faults", report.problems()}};
}

int check(const std::string& bundle, bool json, bool notarize) {
  Files files = fs::is_directory(bundle) ? fromFolder(bundle) : fromArchive(bundle);
  Programs programs;
  try {
    programs = programsOf(files.at(program));
  } catch (const std::runtime_error& damage) {
    std::printf("%s is damaged: %s\n", program.c_str(), damage.what());
    return 1;
  }
  const auto& [firstRow, first] = *programs.byRow.begin();
  tovren::SetupManifest manifest = manifestIn(first, firstRow);
  for (const auto& [row, slice] : programs.byRow)
    if (tovren::SetupManifest other = manifestIn(slice, row); other != manifest) {
      std::printf(
          "%s: its %s and %s programs carry different manifests, of versions %s and %s: "
          "build both from one\n",
          program.c_str(), firstRow.c_str(), row.c_str(), manifest.version.c_str(),
          other.version.c_str());
      return 1;
    }
  bool fine = true;
  nlohmann::json records = nlohmann::json::array();
  for (const auto& row : tovren::constants::rows) {
    Report report = checkFamily(files, manifest, programs, row, notarize);
    fine = fine && report.problems().empty();
    if (json)
      records.push_back(record(report, manifest.version));
    else
      std::printf("%s\n", line(report, manifest.version).c_str());
  }
  if (json) std::printf("%s\n", records.dump(2).c_str());
  return fine ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  bool json = false, notarize = false;
  std::vector<std::string> bundles;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--help") return std::printf("%s", usage), 0;
    if (argument == "--json")
      json = true;
    else if (argument == "--notarize")
      notarize = true;
    else
      bundles.push_back(argument);
  }
  if (bundles.size() != 1 || bundles[0].starts_with("-")) {
    std::fprintf(stderr, "%s", usage);
    return tovren::constants::usageStatus;
  }
  try {
    return check(bundles[0], json, notarize);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "check_bundle: %s\n", error.what());
    return 2;
  }
}
