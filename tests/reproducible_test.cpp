// The shipped archives and manifest come out byte for byte the same from every
// build, whatever the builder's umask.
#include <gtest/gtest.h>

#include "tests/program.h"

namespace tovren::testing {
namespace {

const std::string archives = TOVREN_ARCHIVES;
const std::string tools = TOVREN_BUILD_DIR;

Outcome shell(const std::string& command) { return run({"/bin/sh", {"-c", command}, {}, std::nullopt}); }

TEST(Reproducible, ArchivesAndManifestDoNotDependOnTheUmask) {
  for (const char* umask : {"000", "077"}) {
    TemporaryFolder out;
    const std::string& o = out.path();
    Outcome made = shell("umask " + std::string(umask) + " && cp " + archives + "/arm64/tovren " + o +
                         "/console && chmod 600 " + o + "/console && " + tools + "/make_zip " + o +
                         "/MAC-ARM.zip tovren=" + o + "/console && " + tools + "/make_zip " + o +
                         "/MAC-X64.zip tovren=" + archives + "/amd64/tovren && " + tools +
                         "/manifest_tool generate 0.8.3-runtime.1 " + o + "/manifest.json darwin-arm64=" + o +
                         "/MAC-ARM.zip darwin-amd64=" + o + "/MAC-X64.zip");
    ASSERT_EQ(made.status, 0) << made.errorOutput;
    for (const char* file : {"MAC-ARM.zip", "MAC-X64.zip", "manifest.json"})
      EXPECT_EQ(contentOf(o + "/" + file), contentOf(archives + "/" + file)) << file << " under umask " << umask;
  }
}

TEST(Reproducible, GeneratorRefusesAnArchiveWithoutTheConsole) {
  TemporaryFolder out;
  const std::string& o = out.path();
  writeFile(o + "/readme", "not a console");
  Outcome made = shell(tools + "/make_zip " + o + "/a.zip readme=" + o + "/readme && " + tools +
                       "/manifest_tool generate 1 " + o + "/manifest.json darwin-arm64=" + o + "/a.zip");
  EXPECT_NE(made.status, 0);
  EXPECT_NE(made.errorOutput.find("has no top-level entry \"tovren\""), std::string::npos) << made.errorOutput;
  EXPECT_EQ(contentOf(o + "/manifest.json"), "");
}

}  // namespace
}  // namespace tovren::testing
