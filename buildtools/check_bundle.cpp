// check_bundle: checks a finished bundle before it ships, against the manifest
// compiled into its own program.
//
//   check_bundle BUNDLE
//
// BUNDLE is a TOVREN.app folder, or an archive that holds one: the zip of a macOS
// release, signed and packed again or not, or the tar.gz of a Linux one. The
// manifest is read from the setup program itself, from each slice of a universal
// one, and every archive it names is checked against it: the archive's digest,
// the digest of the console inside, and that the console runs on its family's
// processor on the program's system. Prints one line per processor family and
// exits 0 only when all hold; 1 otherwise, and 2 when the bundle cannot be read.
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <filesystem>
#include <map>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "buildtools/console_archive.h"
#include "buildtools/program_kind.h"
#include "buildtools/tool_files.h"
#include "manifest/setup_manifest.h"
#include "platform/sha256.h"
#include "support/error.h"
#include "tovren/constants.h"

namespace {

using tovren::Bytes;
namespace fs = std::filesystem;

const std::string program = "Contents/MacOS/tovren-setup", resources = "Contents/Resources/";

// The bundle's files by their paths inside it.
using Files = std::map<std::string, Bytes>;

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

// The files of the one X.app in the zip or tar archive at `path`.
Files fromArchive(const std::string& path) {
  Reader reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_zip(reader.get());
  archive_read_support_format_tar(reader.get());
  archive_read_support_filter_gzip(reader.get());
  auto failed = [&] {
    return std::runtime_error(path + ": " + archive_error_string(reader.get()));
  };
  if (archive_read_open_filename(reader.get(), path.c_str(), 1 << 16) != ARCHIVE_OK) throw failed();
  Files files;
  std::string app;
  archive_entry* entry;
  for (int status; (status = archive_read_next_header(reader.get(), &entry)) != ARCHIVE_EOF;) {
    if (status != ARCHIVE_OK) throw failed();
    std::string name = archive_entry_pathname(entry);
    auto at = name.find(".app/Contents/");
    if (at == std::string::npos || archive_entry_filetype(entry) != AE_IFREG) continue;
    if (!app.empty() && name.substr(0, at) != app)
      throw std::runtime_error(path + ": it holds more than one bundle");
    app = name.substr(0, at);
    Bytes& bytes = files[name.substr(at + 5)];
    char buffer[1 << 16];
    for (la_ssize_t n; (n = archive_read_data(reader.get(), buffer, sizeof buffer)) != 0;) {
      if (n < 0) throw failed();
      bytes.insert(bytes.end(), buffer, buffer + n);
    }
  }
  if (!files.count(program)) throw std::runtime_error(path + ": it holds no " + program);
  return files;
}

// The processor rows of the program's slices, each with its bytes.
std::vector<std::pair<std::string, Bytes>> slicesOf(const Bytes& setup, std::string& system) {
  tovren::ProgramKind kind = tovren::kindOf(setup);
  system = kind.system;
  if (kind.processors.empty()) throw std::runtime_error(program + " is " + kind.description);
  if (kind.processors.size() == 1) return {{kind.processors[0], setup}};
  std::vector<std::pair<std::string, Bytes>> slices;
  auto big = [&](std::size_t at, int width) {
    std::uint64_t value = 0;
    for (int i = 0; i < width; ++i) value = value << 8 | setup[at + static_cast<std::size_t>(i)];
    return value;
  };
  // Slices are described in 20 bytes, or in 32 with 64-bit offsets and sizes.
  int wide = setup[3] == 0xBF ? 8 : 4;
  for (std::uint64_t i = 0, count = big(4, 4); i < count; ++i) {
    std::size_t at = 8 + (wide == 8 ? 32 : 20) * i, offset = big(at + 8, wide),
                size = big(at + 8 + static_cast<std::size_t>(wide), wide);
    if (offset + size > setup.size()) throw std::runtime_error(program + " is cut short");
    Bytes slice(setup.begin() + offset, setup.begin() + offset + size);
    slices.emplace_back(tovren::kindOf(slice).processors.at(0), slice);
  }
  return slices;
}

// The manifest compiled into `slice`: the Base64 text of a JSON object that
// begins with "version".
tovren::SetupManifest manifestIn(const Bytes& slice, const std::string& row) {
  const std::string start = "eyJ2ZXJzaW9uIjog";  // {"version":
  std::string text(slice.begin(), slice.end());
  auto at = text.find(start);
  if (at == std::string::npos)
    throw std::runtime_error(program + " (" + row + ") holds no manifest");
  auto end = text.find_first_not_of(
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/=", at);
  return tovren::decodeManifest(text.substr(at, end - at));
}

// What is wrong with the archive of `row` against `manifest`, empty when nothing;
// `kind` says what its console is.
std::string faultsOf(const Files& files, const tovren::SetupManifest& manifest,
                     const tovren::constants::Row& row, const std::string& system,
                     std::string& kind) {
  auto entry = manifest.platforms.find(std::string(row.platformKey));
  if (entry == manifest.platforms.end()) return "the manifest has no entry for it";
  const tovren::SetupAsset& asset = entry->second;
  auto zip = files.find(resources + asset.archive);
  if (zip == files.end()) return "the bundle has no " + resources + asset.archive;
  std::string faults, digest = tovren::sha256Text(zip->second);
  auto fault = [&](const std::string& text) { faults += (faults.empty() ? "" : "; ") + text; };
  if (digest != asset.sha256) {
    fault(asset.archive + "'s SHA-256 is " + digest + ", the manifest's " + asset.sha256);
    for (const auto& [key, other] : manifest.platforms)
      if (key != row.platformKey && other.sha256 == digest)
        fault("it is the archive the manifest names for " + key + ": the archives are swapped");
  }
  try {
    tovren::FileContent zipped(zip->second.begin(), zip->second.end());
    Bytes console = tovren::consoleIn(zipped, asset.archive);
    kind = tovren::kindOf(console).description;
    if (std::string text = tovren::sha256Text(console); text != asset.binary_sha256)
      fault("its console's SHA-256 is " + text + ", the manifest's " + asset.binary_sha256);
    tovren::requireRunsOn(console, asset.archive, system, row.architectureWord);
  } catch (const std::runtime_error& refused) {
    fault(refused.what());
  }
  return faults;
}

int check(const std::string& bundle) {
  Files files = fs::is_directory(bundle) ? fromFolder(bundle) : fromArchive(bundle);
  std::string system;
  auto slices = slicesOf(files.at(program), system);
  tovren::SetupManifest manifest = manifestIn(slices[0].second, slices[0].first);
  for (const auto& [row, slice] : slices)
    if (manifestIn(slice, row) != manifest)
      throw std::runtime_error(program + ": its " + slices[0].first + " and " + row +
                               " programs carry different manifests");
  bool fine = true;
  for (const auto& row : tovren::constants::rows) {
    std::string kind, faults = faultsOf(files, manifest, row, system, kind),
                      family = tovren::familyName(system, row.architectureWord);
    family = family.substr(0, family.find(" ("));
    std::string archive = manifest.platforms.count(std::string(row.platformKey))
                              ? manifest.platforms.at(std::string(row.platformKey)).archive
                              : std::string(row.archive);
    if (faults.empty())
      std::printf("%s: ok: %s and its console, %s, match the manifest of version %s\n",
                  family.c_str(), archive.c_str(), kind.c_str(), manifest.version.c_str());
    else
      std::printf("%s: %s does not match the manifest of version %s: %s\n", family.c_str(),
                  archive.c_str(), manifest.version.c_str(), faults.c_str());
    fine = fine && faults.empty();
  }
  return fine ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr,
                 "usage: check_bundle (TOVREN.app | TOVREN-VERSION-macos.zip | ...tar.gz)\n");
    return tovren::constants::usageStatus;
  }
  try {
    return check(argv[1]);
  } catch (const std::exception& error) {
    std::fprintf(stderr, "check_bundle: %s\n", error.what());
    return 2;
  }
}
