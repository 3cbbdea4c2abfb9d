// manifest_tool: makes the setup manifest at build time.
//
//   manifest_tool generate VERSION OUTPUT_JSON KEY=ZIP...
//     The shipped manifest, as one line of JSON: one platform entry per KEY, in
//     order, for the archive ZIP. It refuses to write a text that does not decode
//     back to the same records.
//   manifest_tool embed --json FILE OUTPUT_CPP
//     The C++ source of embeddedManifest: the Base64 form of FILE's bytes.
//   manifest_tool embed --text FILE OUTPUT_CPP
//     The same with FILE's text taken as embeddedManifest as it stands.
#include <archive.h>
#include <archive_entry.h>

#include <cstdio>
#include <memory>
#include <nlohmann/json.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "buildtools/tool_files.h"
#include "manifest/setup_manifest.h"
#include "platform/sha256.h"
#include "tovren/constants.h"
#include "unpacker/unpacked_links.h"
#include "unpacker/zip_listing.h"

namespace {

using tovren::Bytes;
using tovren::FileContent;

const std::string consoleEntry(tovren::constants::consoleEntry);

// Runs a check of the unpacker's: what the build accepts, the setup program can
// unpack.
template <typename Check>
auto asTheUnpacker(const std::string& path, Check check) {
  try {
    return check();
  } catch (const ditto::Refusal& refusal) {
    throw std::runtime_error(path + ": " + refusal.what());
  }
}

using Reader = std::unique_ptr<archive, decltype(&archive_read_free)>;

[[noreturn]] void fail(archive* reader, const std::string& path) {
  const char* reason = archive_error_string(reader);
  throw std::runtime_error(
      path + ": the archive is damaged: " + (reason ? reason : "the archive library failed"));
}

// The whole content of the entry the reader is at.
Bytes contentOfEntry(archive* reader, const std::string& path) {
  Bytes content;
  char buffer[65536];
  la_ssize_t n;
  while ((n = archive_read_data(reader, buffer, sizeof buffer)) > 0)
    content.insert(content.end(), buffer, buffer + n);
  if (n < 0) fail(reader, path);
  return content;
}

// The bytes of the archive's top-level console entry, which must be a file; a
// damaged archive is an error, never a shorter console whose digest would go into
// the manifest. Every entry passes the unpacker's checks first: its listing's,
// and for a symbolic link where it leads.
Bytes consoleIn(const FileContent& zip, const std::string& path) {
  std::vector<ditto::ListedEntry> listed = asTheUnpacker(path, [&] {
    return ditto::readListing(
        std::string_view(reinterpret_cast<const char*>(zip.data()), zip.size()));
  });
  Reader reader(archive_read_new(), &archive_read_free);
  archive_read_support_format_zip(reader.get());
  if (archive_read_open_memory(reader.get(), zip.data(), zip.size()) != ARCHIVE_OK)
    fail(reader.get(), path);
  ditto::UnpackedLinks links;
  std::optional<Bytes> console;
  archive_entry* entry;
  for (std::size_t next = 0;; ++next) {
    int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) break;
    if (status != ARCHIVE_OK || next == listed.size()) fail(reader.get(), path);
    const char* target = archive_entry_symlink(entry);
    if (archive_entry_filetype(entry) == AE_IFLNK)
      asTheUnpacker(path, [&] { links.add(listed[next].name, target ? target : ""); });
    const char* name = archive_entry_pathname(entry);
    if (!name || std::string_view(name) != consoleEntry) continue;
    if (archive_entry_filetype(entry) != AE_IFREG)
      throw std::runtime_error(path + ": its entry \"" + consoleEntry + "\" is not a file");
    console = contentOfEntry(reader.get(), path);
  }
  if (!console)
    throw std::runtime_error(path + ": it has no top-level entry \"" + consoleEntry +
                             "\" for the console");
  return *console;
}

std::string jsonString(const std::string& text) { return nlohmann::json(text).dump(); }

// One member, `"name": value`, named as the records' key tables name it.
std::string member(std::string_view name, const std::string& value) {
  return jsonString(std::string(name)) + ": " + value;
}

std::string name(const std::string& path) { return path.substr(path.rfind('/') + 1); }

int generateManifest(const std::string& version, const std::string& out,
                     const std::vector<std::string>& entries) {
  tovren::SetupManifest expected{version, {}};
  std::string platforms;
  for (const auto& entry : entries) {
    auto equals = entry.find('=');
    if (equals == std::string::npos) throw std::runtime_error("not KEY=ZIP: " + entry);
    std::string key = entry.substr(0, equals), path = entry.substr(equals + 1);
    FileContent zip = tovren::contentOf(path);
    tovren::SetupAsset asset{name(path), tovren::sha256Text(zip),
                             tovren::sha256Text(consoleIn(zip, path))};
    expected.platforms[key] = asset;
    const auto& keys = tovren::SetupAsset::codingKeys;
    platforms += std::string(platforms.empty() ? "" : ", ") +
                 member(key, "{" + member(keys[0], jsonString(asset.archive)) + ", " +
                                 member(keys[1], jsonString(asset.sha256)) + ", " +
                                 member(keys[2], jsonString(asset.binary_sha256)) +
                                 ", \"bytes\": " + std::to_string(zip.size()) + "}");
  }
  const auto& keys = tovren::SetupManifest::codingKeys;
  std::string json = "{" + member(keys[0], jsonString(version)) +
                     ", \"launcher_version\": \"3\", " + member(keys[1], "{" + platforms + "}") +
                     "}";
  if (tovren::decodeManifestJson(Bytes(json.begin(), json.end())) != expected)
    throw std::runtime_error("the generated manifest does not decode back to its records");
  tovren::save(out, json);
  return 0;
}

// A C string literal of any bytes.
std::string literal(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    if (std::isalnum(c) || c == '+' || c == '/' || c == '=') {
      out += static_cast<char>(c);
    } else {
      char escaped[5];
      std::snprintf(escaped, sizeof escaped, "\\%03o", c);
      out += escaped;
    }
  }
  return out + "\"";
}

int embed(const std::string& mode, const std::string& input, const std::string& out) {
  FileContent bytes = tovren::contentOf(input);
  std::string text = mode == "--json" ? tovren::encodeBase64(Bytes(bytes.begin(), bytes.end()))
                                      : std::string(bytes.begin(), bytes.end());
  tovren::save(out, "// Generated by manifest_tool from " + name(input) +
                        "; do not edit.\n"
                        "#include \"manifest/build.h\"\n\n"
                        "namespace tovren {\n\nconst char embeddedManifest[] = " +
                        literal(text) + ";\n\n}  // namespace tovren\n");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  try {
    std::string command = argc > 1 ? argv[1] : "";
    if (command == "generate" && argc >= 4)
      return generateManifest(argv[2], argv[3], std::vector<std::string>(argv + 4, argv + argc));
    if (command == "embed" && argc == 5 &&
        (std::string(argv[2]) == "--json" || std::string(argv[2]) == "--text"))
      return embed(argv[2], argv[3], argv[4]);
    std::fprintf(stderr,
                 "usage: manifest_tool generate VERSION OUTPUT_JSON KEY=ZIP...\n"
                 "       manifest_tool embed (--json|--text) FILE OUTPUT_CPP\n");
    return tovren::constants::usageStatus;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "manifest_tool: %s\n", error.what());
    return 1;
  }
}
