// The unpacker against hostile archives: nothing may land outside the staging
// folder, and a refusal says why in one line.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/program.h"

namespace tovren::testing {
namespace {

namespace fs = std::filesystem;

const std::string ditto = std::string(TOVREN_MAIN_BUNDLE) + "/Contents/MacOS/ditto";

struct Entry {
  std::string name;
  std::string data;
  unsigned mode = S_IFREG | 0755;  // a link's data is its target
  std::optional<std::uint32_t> declaredSize = std::nullopt;
};

std::uint32_t crc32(const std::string& data) {
  std::uint32_t crc = 0xFFFFFFFF;
  for (unsigned char byte : data) {
    crc ^= byte;
    for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
  }
  return ~crc;
}

void put16(std::string& out, unsigned value) {
  out += static_cast<char>(value & 0xFF);
  out += static_cast<char>((value >> 8) & 0xFF);
}
void put32(std::string& out, std::uint32_t value) {
  put16(out, value & 0xFFFF);
  put16(out, value >> 16);
}

// A zip archive of stored (uncompressed) entries, written exactly as given: any
// name, type, mode and declared size.
std::string zip(const std::vector<Entry>& entries) {
  std::string out, central;
  for (const auto& entry : entries) {
    std::uint32_t offset = static_cast<std::uint32_t>(out.size());
    std::uint32_t size = entry.declaredSize.value_or(static_cast<std::uint32_t>(entry.data.size()));
    auto header = [&](std::string& to, bool isCentral) {
      put32(to, isCentral ? 0x02014b50 : 0x04034b50);
      if (isCentral) put16(to, 0x031E);  // made by Unix
      put16(to, 20);
      put16(to, 0);  // flags
      put16(to, 0);  // stored
      put16(to, 0);
      put16(to, 0x21);  // time and date
      put32(to, crc32(entry.data));
      put32(to, size);
      put32(to, size);
      put16(to, static_cast<unsigned>(entry.name.size()));
      put16(to, 0);
      if (isCentral) {
        put16(to, 0);
        put16(to, 0);
        put16(to, 0);
        put32(to, entry.mode << 16);
        put32(to, offset);
      }
      to += entry.name;
    };
    header(out, false);
    out += entry.data;
    header(central, true);
  }
  std::uint32_t start = static_cast<std::uint32_t>(out.size());
  out += central;
  put32(out, 0x06054b50);
  put16(out, 0);
  put16(out, 0);
  put16(out, static_cast<unsigned>(entries.size()));
  put16(out, static_cast<unsigned>(entries.size()));
  put32(out, static_cast<std::uint32_t>(central.size()));
  put32(out, start);
  put16(out, 0);
  return out;
}

TEST(Ditto, HostileArchivesAreRefusedOrContained) {
  const std::string console = "#!/bin/sh\nexit 0\n";
  const std::string good = zip({{"tovren", console}});
  std::string corrupt = good;
  corrupt[40] ^= 0x55;  // inside the stored data: the checksum no longer matches
  struct Case {
    const char* name;
    std::function<std::string(const std::string& parent)> archive;
    bool refused;  // else extracted, inside the folder
  } cases[] = {
      {"dot-dot entry", [](auto&) { return zip({{"../escaped", "x"}}); }, true},
      {"dot-dot inside a path", [](auto&) { return zip({{"a/../../escaped", "x"}}); }, true},
      {"absolute path", [](auto& p) { return zip({{p + "/sentinel/owned", "x"}}); }, true},
      {"link out by absolute target", [](auto& p) { return zip({{"link", p + "/sentinel", S_IFLNK | 0777}}); }, true},
      {"link out by relative target", [](auto&) { return zip({{"link", "../sentinel", S_IFLNK | 0777}}); }, true},
      {"link, then a file through it",
       [](auto&) { return zip({{"inside/", "", S_IFDIR | 0755}, {"link", "inside", S_IFLNK | 0777}, {"link/owned", "x"}}); }, true},
      {"console as a link", [](auto& p) { return zip({{"tovren", p + "/sentinel/file", S_IFLNK | 0777}}); }, true},
      {"hard link out", [](auto& p) { return zip({{"hard", "", S_IFREG | 0755}, {"tovren", p + "/sentinel/file", S_IFLNK | 0777}}); }, true},
      {"folder named tovren", [](auto&) { return zip({{"tovren/", "", S_IFDIR | 0755}, {"tovren/inner", "x"}}); }, false},
      {"duplicate entries", [&](auto&) { return zip({{"tovren", console}, {"tovren", "#!/bin/sh\nrm -rf /\n"}}); }, true},
      {"truncated archive", [&](auto&) { return good.substr(0, good.size() / 2); }, true},
      {"corrupt data", [&](auto&) { return corrupt; }, true},
      {"huge declared size", [&](auto&) { return zip({{"tovren", console, S_IFREG | 0755, 0xFFFFFFF0u}}); }, true},
      {"set-user-ID console", [&](auto&) { return zip({{"tovren", console, S_IFREG | 04755}}); }, false},
      {"not a zip at all", [](auto&) { return std::string("#!/bin/sh\n"); }, true},
      {"empty file", [](auto&) { return std::string(); }, true},
  };
  int held = 0;
  for (const auto& c : cases) {
    TemporaryFolder parent;
    fs::create_directories(parent.path() + "/sentinel");
    writeFile(parent.path() + "/sentinel/file", "sentinel");
    fs::create_directory(parent.path() + "/staging");
    writeFile(parent.path() + "/archive.zip", c.archive(parent.path()));
    // The tree around the staging folder, which nothing may change.
    auto outside = [&] {
      std::string text = snapshot(parent.path() + "/sentinel") + contentOf(parent.path() + "/archive.zip");
      for (const auto& entry : fs::directory_iterator(parent.path())) text += entry.path().filename().string() + "\n";
      return text;
    };
    std::string before = outside();
    Outcome outcome = run({ditto, {"-x", "-k", parent.path() + "/archive.zip", parent.path() + "/staging"}});
    bool contained = outside() == before;
    bool oneLine = outcome.errorOutput.starts_with("ditto: ") && outcome.errorOutput.find('\n') == outcome.errorOutput.size() - 1;
    EXPECT_TRUE(contained) << c.name;
    EXPECT_EQ(outcome.status != 0, c.refused) << c.name << ": " << outcome.errorOutput;
    if (c.refused) {
      EXPECT_TRUE(oneLine) << c.name << ": " << outcome.errorOutput;
    }
    held += contained && (outcome.status != 0) == c.refused && (!c.refused || oneLine);
  }
  TemporaryFolder parent;
  writeFile(parent.path() + "/archive.zip", zip({{"tovren", "x", S_IFREG | 04755}}));
  fs::create_directory(parent.path() + "/staging");
  ASSERT_EQ(run({ditto, {"-x", "-k", parent.path() + "/archive.zip", parent.path() + "/staging"}}).status, 0);
  EXPECT_EQ(static_cast<unsigned>(fs::status(parent.path() + "/staging/tovren").permissions()), 0755u);
  std::cout << "[ figures  ] hostile archives: " << std::size(cases) << " tried, " << held << " held\n";
}

TEST(Ditto, UnpacksTheShippedArchiveAndRefusesWrongUse) {
  TemporaryFolder folder;
  std::string archive = std::string(TOVREN_ARCHIVES) + "/MAC-X64.zip";
  Outcome unpacked = run({ditto, {"-x", "-k", archive, folder.path()}});
  EXPECT_EQ(unpacked.status, 0) << unpacked.errorOutput;
  EXPECT_EQ(contentOf(folder.path() + "/tovren"), contentOf(std::string(TOVREN_ARCHIVES) + "/amd64/tovren"));
  EXPECT_EQ(static_cast<unsigned>(fs::status(folder.path() + "/tovren").permissions()), 0755u);
  EXPECT_EQ(run({ditto, {"-c", archive, folder.path()}}).status, 64);
  Outcome missing = run({ditto, {"-x", "-k", archive, folder.path() + "/missing"}});
  EXPECT_EQ(missing.errorOutput, "ditto: " + folder.path() + "/missing: No such file or directory\n");
}

}  // namespace
}  // namespace tovren::testing
