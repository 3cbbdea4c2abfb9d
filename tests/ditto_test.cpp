// The unpacker against hostile archives: nothing may land outside the staging
// folder, and a refusal says why in one line.
#include <gtest/gtest.h>
#include <sys/mount.h>
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
  std::optional<std::string> localName = std::nullopt;  // in its local header, when not `name`
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
      const std::string& name = isCentral ? entry.name : entry.localName.value_or(entry.name);
      put32(to, isCentral ? 0x02014b50 : 0x04034b50);
      if (isCentral) put16(to, 0x031E);  // made by Unix
      put16(to, 20);
      put16(to, 0x800);  // names in UTF-8
      put16(to, 0);  // stored
      put16(to, 0);
      put16(to, 0x21);  // time and date
      put32(to, crc32(entry.data));
      put32(to, size);
      put32(to, size);
      put16(to, static_cast<unsigned>(name.size()));
      put16(to, 0);
      if (isCentral) {
        put16(to, 0);
        put16(to, 0);
        put16(to, 0);
        put32(to, entry.mode << 16);
        put32(to, offset);
      }
      to += name;
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

// The output of a shell command run in `folder`, which leaves it in "out".
std::string madeBy(const std::string& folder, const std::string& command) {
  Outcome made = run({"/bin/sh", {"-c", "cd '" + folder + "' && " + command}});
  EXPECT_EQ(made.status, 0) << command << ": " << made.errorOutput;
  return contentOf(folder + "/out");
}

// A small file system mounted on `path` for one row, when this process may mount.
struct Mount {
  Mount(const std::string& path, const std::string& options) : path_(path) {
    mounted_ = ::mount("tovren-test", path.c_str(), "tmpfs", 0, options.c_str()) == 0;
  }
  ~Mount() {
    if (mounted_) ::umount2(path_.c_str(), MNT_DETACH);
  }
  bool mounted() const { return mounted_; }

 private:
  std::string path_;
  bool mounted_;
};

std::vector<Entry> files(int count, std::size_t size) {
  std::vector<Entry> entries;
  for (int i = 0; i < count; ++i) entries.push_back({"f" + std::to_string(i), std::string(size, 'x'), S_IFREG | 0644});
  return entries;
}

TEST(Ditto, HostileArchivesAreRefusedOrContained) {
  const std::string console = "#!/bin/sh\nexit 0\n";
  const std::string good = zip({{"tovren", console}});
  std::string corrupt = good;
  corrupt[40] ^= 0x55;  // inside the stored data: the checksum no longer matches
  const std::string python = "python3 -c \"import sys, zipfile; z = zipfile.ZipFile('out', 'w'); "
                             "z.writestr('tovren', 'x'); z.writestr('h\\u00e9llo.txt', 'x'); z.close()\"";
  struct Case {
    const char* name;
    std::function<std::string(const std::string& parent)> archive;
    const char* says;  // part of the one-line reason; none when the archive is extracted inside the folder
    std::string mount = "";  // options of a small file system on the folder
    std::function<void(const std::string& parent)> arrange = nullptr;
  } cases[] = {
      {"dot-dot entry", [](auto&) { return zip({{"../escaped", "x"}}); }, "entry \"../escaped\": it would land outside"},
      {"dot-dot inside a path", [](auto&) { return zip({{"a/../../escaped", "x"}}); }, "it would land outside"},
      {"absolute path", [](auto& p) { return zip({{p + "/sentinel/owned", "x"}}); }, "it would land outside"},
      {"link out by absolute target", [](auto& p) { return zip({{"link", p + "/sentinel", S_IFLNK | 0777}}); }, "leads outside"},
      {"link out by relative target", [](auto&) { return zip({{"link", "../sentinel", S_IFLNK | 0777}}); }, "leads outside"},
      {"link, then a file through it",
       [](auto&) { return zip({{"inside/", "", S_IFDIR | 0755}, {"link", "inside", S_IFLNK | 0777}, {"link/owned", "x"}}); },
       "cannot unpack \"link/owned\""},
      {"console as a link", [](auto& p) { return zip({{"tovren", p + "/sentinel/file", S_IFLNK | 0777}}); }, "leads outside"},
      {"console as a fifo", [](auto&) { return zip({{"tovren", "", S_IFIFO | 0644}}); }, "it is a special file"},
      {"folder named tovren", [](auto&) { return zip({{"tovren/", "", S_IFDIR | 0755}, {"tovren/inner", "x"}}); }, nullptr},
      {"duplicate entries", [&](auto&) { return zip({{"tovren", console}, {"tovren", "#!/bin/sh\nrm -rf /\n"}}); }, "same path"},
      {"one path, two spellings", [](auto&) { return zip({{"a/b", "1"}, {"a//b", "2"}}); }, "entry \"a//b\": another entry lands on the same path"},
      {"listed and local names differ", [](auto&) { return zip({{"../../outside/evil", "x", S_IFREG | 0644, {}, "ok.txt"}}); },
       "entry \"../../outside/evil\": its own header names it \"ok.txt\""},
      {"overlapping entries", [](auto&) { return zip({{"a", "xx", S_IFREG | 0644, 2 + 30 + 1 + 1}, {"b", "x"}}); },
       "entry \"b\": it overlaps \"a\""},
      {"truncated archive", [&](auto&) { return good.substr(0, good.size() / 2); }, "not a zip archive"},
      {"corrupt data", [&](auto&) { return corrupt; }, "cannot read the archive"},
      {"huge declared size", [&](auto&) { return zip({{"tovren", console, S_IFREG | 0755, 0xFFFFFFF0u}}); }, "runs into"},
      {"set-user-ID console", [&](auto&) { return zip({{"tovren", console, S_IFREG | 04755}}); }, nullptr},
      {"not a zip at all", [](auto&) { return std::string("#!/bin/sh\n"); }, "not a zip archive"},
      {"empty file", [](auto&) { return std::string(); }, "not a zip archive"},
      {"a UTF-8 name from Python's zipfile", [&](auto& p) { return madeBy(p, python); }, nullptr},
      {"Info-ZIP zip", [](auto& p) { return madeBy(p, "mkdir -p d/e && echo x > d/e/f && zip -qr out.zip d && mv out.zip out"); }, nullptr},
      {"archive is a fifo", [](auto&) { return ""; }, "archive.zip: it is not a regular file", "",
       [](auto& p) { fs::remove(p + "/archive.zip"), ::mkfifo((p + "/archive.zip").c_str(), 0600); }},
      {"folder is a link", [&](auto&) { return good; }, "staging: it is a symbolic link", "",
       [](auto& p) { fs::remove(p + "/staging"), fs::create_directory_symlink(p + "/sentinel", p + "/staging"); }},
      {"more declared than the disk holds", [](auto&) { return zip(files(1, 100000)); },
       "it unpacks to 100000 bytes, but the folder has only 65536 bytes free", "size=64k"},
      {"disk full while writing", [](auto&) { return zip(files(20, 3000)); }, ": No space left on device", "size=64k"},
      {"no inodes left", [](auto&) { return zip(files(6, 1)); }, ": No space left on device", "nr_inodes=4"},
  };
  int held = 0, tried = 0;
  for (const auto& c : cases) {
    TemporaryFolder parent;
    fs::create_directories(parent.path() + "/sentinel");
    writeFile(parent.path() + "/sentinel/file", "sentinel");
    fs::create_directory(parent.path() + "/staging");
    writeFile(parent.path() + "/archive.zip", c.archive(parent.path()));
    if (c.arrange) c.arrange(parent.path());
    std::optional<Mount> mount;
    if (!c.mount.empty()) mount.emplace(parent.path() + "/staging", c.mount);
    if (mount && !mount->mounted()) {
      std::cout << "[ skipped  ] " << c.name << ": cannot mount a small file system here (not root?)\n";
      continue;
    }
    // The tree around the staging folder, which nothing may change.
    auto outside = [&] {
      std::string archive = parent.path() + "/archive.zip";
      std::string text = snapshot(parent.path() + "/sentinel") + (fs::is_fifo(archive) ? "fifo" : contentOf(archive));
      for (const auto& entry : fs::directory_iterator(parent.path())) text += entry.path().filename().string() + "\n";
      return text;
    };
    std::string before = outside();
    Outcome outcome = run({"/usr/bin/timeout", {"20", ditto, "-x", "-k", parent.path() + "/archive.zip", parent.path() + "/staging"},
                           {{"LC_ALL", "C"}}});
    bool contained = outside() == before;
    bool told = c.says ? outcome.status == 1 && outcome.errorOutput.starts_with("ditto: ") &&
                             outcome.errorOutput.find(c.says) != std::string::npos &&
                             outcome.errorOutput.find('\n') == outcome.errorOutput.size() - 1
                       : outcome.status == 0;
    EXPECT_TRUE(contained) << c.name;
    EXPECT_TRUE(told) << c.name << ": " << outcome.status << " " << outcome.errorOutput;
    held += contained && told;
    ++tried;
  }
  TemporaryFolder parent;
  writeFile(parent.path() + "/archive.zip", zip({{"tovren", "x", S_IFREG | 04755}}));
  fs::create_directory(parent.path() + "/staging");
  ASSERT_EQ(run({ditto, {"-x", "-k", parent.path() + "/archive.zip", parent.path() + "/staging"}}).status, 0);
  EXPECT_EQ(static_cast<unsigned>(fs::status(parent.path() + "/staging/tovren").permissions()), 0755u);
  std::cout << "[ figures  ] hostile archives: " << tried << " tried, " << held << " held\n";
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
