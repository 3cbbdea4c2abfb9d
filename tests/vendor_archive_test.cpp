// A vendor's own console archives: the build takes those the setup program can
// install, and stops with a clear message on any other.

#include "tests/zip.h"

namespace tovren::testing {
namespace {

// The manifest entry the generator writes for the archive, or why the build stops.
std::string generated(const std::string& archive, const std::string& folder) {
  Outcome outcome =
      runProgram({TOVREN_BUILD_DIR "/manifest_tool",
                  {"generate", "2.0", folder + "/m.json", "darwin-arm64=" + archive}});
  return outcome.status == 0 ? contentOf(folder + "/m.json") : outcome.errorOutput;
}

TEST(VendorArchives, TheManifestIsMadeFromArchivesTheUnpackerTakesAndTheBuildStopsOnOthers) {
  const std::string console = "#!/bin/sh\necho vendor\n";
  struct Case {
    const char* name;
    std::function<std::string(const std::string& folder)> archive;  // its bytes
    std::string outcome;  // part of the manifest, or of the one-line reason
  } cases[] = {
      {"Info-ZIP zip, with a link that stays inside",
       [&](auto& folder) {
         return writeFile(folder + "/tovren", console),
                runProgram({"/bin/sh",
                            {"-c",
                             "cd \"$0\" && mkdir bin && ln -s ../tovren bin/tovren && "
                             "zip -qry out.zip tovren bin",
                             folder}}),
                contentOf(folder + "/out.zip");
       },
       "\"binary_sha256\": \"d15b4fd567a78e427c47631d98b76171ec6ce5b155dbd34039f2b56ab36946fd\""},
      {"missing", [](auto&) { return std::string(); },
       "Could not read \"ARCHIVE\": No such file or directory."},
      {"not a zip", [](auto&) { return std::string("#!/bin/sh\n"); },
       "ARCHIVE: it is not a zip archive, or it is incomplete"},
      {"no console",
       [&](auto&) {
         return zip({{"bin/tovren", console}});
       },
       "ARCHIVE: it has no top-level entry \"tovren\" for the console"},
      {"console is a link",
       [](auto&) {
         return zip({{"other", "x"}, {"tovren", "other", S_IFLNK | 0777}});
       },
       "ARCHIVE: its entry \"tovren\" is not a file"},
      {"damaged console",
       [&](auto&) {
         std::string bytes = zip({{"tovren", console}});
         return bytes[40] ^= 0x55, bytes;
       },
       "ARCHIVE: the archive is damaged: ZIP bad CRC"},
      {"refused by the unpacker",
       [&](auto&) {
         return zip({{"tovren", console}, {"../escaped", "x"}});
       },
       "ARCHIVE: refusing entry \"../escaped\": it would land outside"},
      {"a link the unpacker refuses",
       [&](auto&) {
         return zip({{"tovren", console}, {"up", "..", S_IFLNK | 0777}});
       },
       "ARCHIVE: refusing entry \"up\": its symbolic link leads outside"},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    std::string archive = folder.path("vendor.zip"), bytes = c.archive(folder.path());
    if (std::string(c.name) != "missing") writeFile(archive, bytes);
    std::string outcome = generated(archive, folder.path()), expected = c.outcome;
    if (auto at = expected.find("ARCHIVE"); at != std::string::npos)
      expected.replace(at, 7, archive);
    EXPECT_NE(outcome.find(expected), std::string::npos) << c.name << ": " << outcome;
  }
}

}  // namespace
}  // namespace tovren::testing
