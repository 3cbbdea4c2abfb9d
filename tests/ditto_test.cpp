// The unpacker against hostile archives and those of other tools.

#include <set>

#include "tests/test.h"
#include "tests/zip.h"

namespace tovren::testing {
namespace {

std::vector<Entry> files(int count, std::size_t size) {
  std::vector<Entry> entries;
  while (count--)
    entries.push_back({"f" + std::to_string(count), std::string(size, 'x'), S_IFREG | 0644});
  return entries;
}

// A file "l0" and links "l1" to "l`length`", each to the one before: following the
// last passes through length - 1 links.
std::vector<Entry> chain(int length) {
  std::vector<Entry> entries{{"l0", "x", S_IFREG | 0644}};
  for (int i = 1; i <= length; ++i)
    entries.push_back({"l" + std::to_string(i), "l" + std::to_string(i - 1), S_IFLNK | 0777});
  return entries;
}

// A link "through" to q1/../q2/../…/q`count`/.. and the links "q1" to "q`count`",
// each to the folder "d": following the first passes through all the others,
// and leads to the folder unpacked into.
std::vector<Entry> comingBack(int count) {
  std::vector<Entry> entries{{"d/", "", S_IFDIR | 0755}, {"through", "", S_IFLNK | 0777}};
  for (int i = 1; i <= count; ++i) {
    entries[1].data += "q" + std::to_string(i) + "/../";
    entries.push_back({"q" + std::to_string(i), "d", S_IFLNK | 0777});
  }
  return entries;
}

// The folder `entries` unpack to under umask 022, as snapshot shows it.
std::string unpacked(const std::vector<Entry>& entries) {
  std::set<std::string> lines;
  for (const Entry& entry : entries) {
    char bits[8];
    std::snprintf(bits, sizeof bits, " %o", entry.mode & 0755);
    lines.insert(S_ISDIR(entry.mode)   ? entry.name.substr(0, entry.name.size() - 1) + bits + "\n"
                 : S_ISLNK(entry.mode) ? entry.name + " 777 -> " + entry.data + "\n"
                                       : entry.name + bits + " [" + entry.data + "]\n");
  }
  return std::accumulate(lines.begin(), lines.end(), std::string("unpacked: "));
}

// Each archive is refused with one line naming the entry and the reason, or
// unpacked into the folder exactly; nothing outside the folder ever changes. The
// listing's own checks are ZipListing's; a refusal of it here stands for them all.
TEST(Ditto, HostileAndForeignArchivesAreRefusedOrUnpackedInsideTheFolder) {
  const std::string console = "#!/bin/sh\nexit 0\n", good = zip({{"tovren", console}}),
                    ditto = unpacker;
  std::string corrupt = good;
  corrupt[40] ^= 0x55;  // in the stored data: the checksum no longer matches
  auto madeBy = [](const std::string& command) {
    return [=](const std::string& parent) {
      return runProgram({"/bin/sh", {"-c", "cd \"$0\" && umask 022 && " + command, parent}}),
             contentOf(parent + "/out");
    };
  };
  struct Case {
    std::string name;
    std::function<std::string(const std::string& parent)> archive;
    std::string
        outcome;  // part of the one-line reason, or "unpacked: " and what the folder then holds
    std::string mount = "";  // options of a small file system mounted on the folder
    std::function<void(const std::string& parent)> arrange = nullptr;
    mode_t umask = 022;
    bool bounded = false;  // within a second of processor time and 64 MiB
  };
  const std::vector<Entry> framework = {{"F/", "", S_IFDIR | 0755},
                                        {"F/Versions/", "", S_IFDIR | 0755},
                                        {"F/Versions/A/", "", S_IFDIR | 0755},
                                        {"F/Versions/A/bin/", "", S_IFDIR | 0755},
                                        {"F/Versions/A/bin/tool", "x", S_IFREG | 0755},
                                        {"F/Versions/Current", "A", S_IFLNK | 0777},
                                        {"F/tool", "Versions/Current/bin/tool", S_IFLNK | 0777},
                                        {"F/up", "Versions/Current/../..", S_IFLNK | 0777}};
  std::vector<Case> cases = {
      {"the shipped archive", [](auto&) { return contentOf(TOVREN_ARCHIVES "/" + archiveName); },
       "unpacked: tovren 755 [" + shippedConsole() + "]\n"},
      {"folder named tovren",
       [](auto&) {
         return zip({{"tovren/", "", S_IFDIR | 0755}, {"tovren/inner", "x"}});
       },
       "unpacked: tovren 755\ntovren/inner 755 [x]\n"},
      {"set-user-ID console",
       [&](auto&) {
         return zip({{"tovren", console, S_IFREG | 04755}});
       },
       "unpacked: tovren 755 [" + console + "]\n"},
      {"a UTF-8 name from Python's zipfile",
       madeBy("python3 -c \"import zipfile; z = zipfile.ZipFile('out', 'w'); "
              "z.writestr('h\\u00e9llo', 'x'); z.close()\""),
       "unpacked: h\u00e9llo 600 [x]\n"},
      {"Info-ZIP zip",
       madeBy("mkdir -p d/e && echo x > d/e/f && zip -qr out.zip d && mv out.zip out"),
       "unpacked: d 755\nd/e 755\nd/e/f 644 [x\n]\n"},
      {"dot-dot entry, its UTF-8 name shown whatever the locale",
       [](auto&) {
         return zip({{"../h\u00e9llo", "x"}});
       },
       "entry \"../h\u00e9llo\": it would land outside"},
      {"a Windows maker's backslashes are folders",
       [](auto&) { return zip({{.name = "d\\e\\f", .data = "x", .mode = 0, .system = 10}}); },
       "unpacked: d 755\nd/e 755\nd/e/f 664 [x]\n"},
      {"links that stay inside, as zip -ry keeps them",
       madeBy("mkdir -p bin lib/v1 sub && echo x > lib/tool.sh && echo t > top.txt && "
              "ln -s ../lib/tool.sh bin/tool && ln -s ./v1 lib/current && ln -s ../top.txt sub/up "
              "&& zip -qry out.zip bin lib sub top.txt && mv out.zip out"),
       "unpacked: bin 755\nbin/tool 777 -> ../lib/tool.sh\nlib 755\nlib/current 777 -> ./v1\n"
       "lib/tool.sh 644 [x\n]\nlib/v1 755\nsub 755\nsub/up 777 -> ../top.txt\ntop.txt 644 [t\n]\n"},
      {"link out by absolute target",
       [](auto& p) {
         return zip({{"tovren", p + "/staging/tovren", S_IFLNK | 0777}});
       },
       "entry \"tovren\": its symbolic link's target is an absolute path"},
      {"link out by relative target",
       [](auto&) {
         return zip({{"d/", "", S_IFDIR | 0755}, {"d/link", "./../../sentinel", S_IFLNK | 0777}});
       },
       "entry \"d/link\": its symbolic link leads outside"},
      {"a link out through a link unpacked before it",
       [](auto&) {
         return zip({{"up", ".", S_IFLNK | 0777}, {"out", "up/../sentinel", S_IFLNK | 0777}});
       },
       "entry \"out\": its symbolic link leads outside"},
      {"a link that a link unpacked after it leads out",
       [](auto&) {
         return zip({{"out", "up/../sentinel", S_IFLNK | 0777}, {"up", ".", S_IFLNK | 0777}});
       },
       "entry \"out\": its symbolic link leads outside"},
      {"a link whose way passes a link that passes another",
       [](auto&) {
         return zip({{"out", "d/l/../..", S_IFLNK | 0777},
                     {"d/l", "sub", S_IFLNK | 0777},
                     {"d/sub", ".", S_IFLNK | 0777}});
       },
       "entry \"out\": its symbolic link leads outside"},
      {"a link out through a link to a deeper folder",
       [](auto&) {
         return zip({{"a/b/", "", S_IFDIR | 0755},
                     {"out", "up/../../..", S_IFLNK | 0777},
                     {"up", "a/b", S_IFLNK | 0777}});
       },
       "entry \"out\": its symbolic link leads outside"},
      {"links through links that stay inside, as a framework's",
       [&](auto&) { return zip(framework); }, unpacked(framework)},
      {"a link passed 30 times on one way, and back each time",
       [](auto&) { return zip(comingBack(30)); }, unpacked(comingBack(30)), "", nullptr, 022, true},
      {"a chain of links that passes through 40, as many as the system follows",
       [](auto&) { return zip(chain(41)); }, unpacked(chain(41))},
      {"one that passes through 41", [](auto&) { return zip(chain(42)); },
       "entry \"l42\": its symbolic link passes through more than 40 links"},
      {"a loop of links",
       [](auto&) {
         return zip({{"a", "b", S_IFLNK | 0777}, {"b", "a", S_IFLNK | 0777}});
       },
       "entry \"a\": its symbolic link passes through more than 40 links"},
      {"link, then a file through it",
       [](auto&) {
         return zip(
             {{"in/", "", S_IFDIR | 0755}, {"link", "in", S_IFLNK | 0777}, {"link/owned", "x"}});
       },
       "entry \"link\": it is a symbolic link, and other entries lie beneath it"},
      {"a file, then a link where its folder is",
       [](auto&) {
         return zip({{"link/owned", "x"}, {"link", ".", S_IFLNK | 0777}});
       },
       "entry \"link\": it is a symbolic link, and other entries lie beneath it"},
      {"corrupt data", [&](auto&) { return corrupt; }, "cannot read the archive"},
      {"declared sizes that add up past 64 bits",
       [](auto&) {
         return zip({{.name = "a", .data = "x", .declared = INT64_MAX},
                     {.name = "b", .data = "x", .declared = INT64_MAX},
                     {"c", "xy"}});
       },
       "it unpacks to more bytes than any disk holds"},
      {"inflates past its declared size",
       [](auto&) {
         return zip({{.name = "a",
                      .data = std::string(1 << 20, '\0'),
                      .declared = 100,
                      .deflated = true}});
       },
       "entry \"a\": it holds more than the 100 bytes it declares"},
      {"not a zip at all", [](auto&) { return std::string("#!/bin/sh\n"); }, "not a zip archive"},
      {"archive is a fifo", [](auto&) { return ""; }, "archive.zip: it is not a regular file", "",
       [](auto& p) {
         fs::remove(p + "/archive.zip"), ::mkfifo((p + "/archive.zip").c_str(), 0600);
       }},
      {"folder is a link", [&](auto&) { return good; }, "staging: it is a symbolic link", "",
       [](auto& p) {
         fs::remove(p + "/staging"), fs::create_directory_symlink(p + "/sentinel", p + "/staging");
       }},
      {"folder is missing", [&](auto&) { return good; }, "staging: No such file or directory", "",
       [](auto& p) { fs::remove(p + "/staging"); }},
      {"more declared than the disk holds", [](auto&) { return zip(files(1, 100000)); },
       "it unpacks to 100000 bytes, but the folder has only 65536 bytes free", "size=64k"},
      {"entries that add up past the disk", [](auto&) { return zip(files(2, 40000)); },
       "it unpacks to 80000 bytes, but the folder has only 65536 bytes free", "size=64k"},
      {"disk full while writing", [](auto&) { return zip(files(20, 3000)); },
       ": No space left on device", "size=64k"},
      {"too few inodes left", [](auto&) { return zip(files(6, 1)); },
       "it unpacks to 6 files, but the folder has room for only 3 more", "nr_inodes=4"},
      {"folders made on the way keep their owner's bits under umask 777",
       [](auto&) {
         return zip({{"d/e/f", "x"}});
       },
       "unpacked: d 700\nd/e 700\nd/e/f 755 [x]\n", "", nullptr, 0777},
      {"names after \"./\", as a zip of \".\" has them",
       [&](auto&) {
         return zip(
             {{"./", "", S_IFDIR | 0755}, {"./tovren", console}, {"././d/", "", S_IFDIR | 0700}});
       },
       "unpacked: d 700\ntovren 755 [" + console + "]\n"},
  };
  // A folder entry is a folder by its final "/" whatever its maker, whether its
  // name is flagged UTF-8 (as jar writes them), and whatever its letters.
  for (unsigned system : {0u, 3u, 10u})
    for (unsigned flags : {0u, 0x800u})
      for (std::string folder : {"d", "\u65e5\u672c\u8a9e"}) {
        bool unix = system == 3;
        std::string name = "folder entry by maker " + std::to_string(system) + ", flags " +
                           std::to_string(flags) + ", " + folder;
        cases.push_back({name,
                         [=](auto&) {
                           return zip({{.name = folder + "/",
                                        .data = "",
                                        .mode = unix ? S_IFDIR | 0755 : 0u,
                                        .system = system,
                                        .flags = flags},
                                       {.name = folder + "/f",
                                        .data = "x",
                                        .mode = unix ? S_IFREG | 0644 : 0u,
                                        .system = system,
                                        .flags = flags}});
                         },
                         "unpacked: " + folder + (unix ? " 755\n" : " 775\n") + folder + "/f " +
                             (unix ? "644" : "664") + " [x]\n"});
      }
  int unmountable = 0;  // rows whose small disk could not be mounted
  for (const auto& c : cases) {
    TemporaryFolder parent;
    std::string staging = parent.path("staging"), archive = parent.path("archive.zip");
    fs::create_directories(parent.path("sentinel")), fs::create_directory(staging);
    writeFile(parent.path("sentinel/file"), "sentinel");
    writeFile(archive, c.archive(parent.path()));
    if (c.arrange) c.arrange(parent.path());
    SmallDisk disk(staging, c.mount, c.name);
    if (!disk.mounted() && ++unmountable) continue;
    // The tree around the folder, which nothing may change.
    auto outside = [&] {
      std::string text =
          (fs::is_fifo(archive) ? "fifo" : contentOf(archive)) + snapshot(parent.path("sentinel"));
      for (const auto& entry : fs::directory_iterator(parent.path()))
        text += entry.path().filename().string() + "\n";
      return text;
    };
    std::string before = outside();
    mode_t umask = ::umask(c.umask);
    Launch launch{
        "/usr/bin/timeout", {"20", ditto, "-x", "-k", archive, staging}, {{"LC_ALL", "C"}}};
    if (c.bounded) launch.limits = {{RLIMIT_CPU, 1}};
    Outcome outcome = runProgram(launch);
    ::umask(umask);
#ifndef TOVREN_SANITIZED  // whose shadow memory is counted as held
    if (c.bounded) {
      EXPECT_LE(outcome.peakKiB, 64 << 10) << c.name;
    }
#endif
    EXPECT_EQ(outside(), before) << c.name;
    if (c.outcome.starts_with("unpacked: ")) {
      EXPECT_EQ(outcome.status, 0) << c.name << ": " << outcome.errorOutput;
      EXPECT_EQ("unpacked: " + snapshot(staging), c.outcome) << c.name;
    } else {
      EXPECT_EQ(outcome.status, 1) << c.name;
      EXPECT_TRUE(outcome.errorOutput.starts_with("ditto: ") &&
                  outcome.errorOutput.find('\n') == outcome.errorOutput.size() - 1 &&
                  outcome.errorOutput.find(c.outcome) != std::string::npos)
          << c.name << ": " << outcome.errorOutput;
    }
  }
  EXPECT_EQ(runProgram({ditto, {"-c", "archive", "folder"}}).status, 64) << "usage";
  if (unmountable) TOVREN_CANNOT_PROVE_HERE(unmountable << " rows: no small disk can be mounted");
}

}  // namespace
}  // namespace tovren::testing
