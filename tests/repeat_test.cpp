// A thousand runs in a row in one home, within one process: no staging folder
// stays and no descriptor is left open.
#include <gtest/gtest.h>

#include <filesystem>

#include "install/digest.h"
#include "install/setup.h"
#include "platform/base64.h"
#include "tests/fakes.h"
#include "tests/program.h"

namespace tovren::testing {
namespace {

namespace fs = std::filesystem;

std::size_t openDescriptors() {
  return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), fs::directory_iterator()));
}

std::string digestOf(const std::string& text) { return digest(Bytes(text.begin(), text.end())); }

TEST(Repeat, AThousandRunsLeaveNoStagingFolderAndNoOpenDescriptor) {
  TemporaryFolder root;
  const std::string console = "#!/bin/sh\nexit 0\n";
  std::string resources = root.path() + "/Resources";
  fs::create_directories(resources);
  fs::create_directories(root.path() + "/home");
  writeFile(root.path() + "/tovren", console);
  Outcome zipped = run({std::string(TOVREN_BUILD_DIR) + "/make_zip", {resources + "/MAC-X64.zip", "tovren=" + root.path() + "/tovren"}});
  ASSERT_EQ(zipped.status, 0) << zipped.errorOutput;
  fs::copy_file(std::string(TOVREN_MAIN_BUNDLE) + "/Contents/MacOS/ditto", resources + "/ditto");
  std::string json = R"({"version": "9", "platforms": {"darwin-amd64": {"archive": "MAC-X64.zip", "sha256": ")" +
                     digestOf(contentOf(resources + "/MAC-X64.zip")) + R"(", "binary_sha256": ")" + digestOf(console) + R"("}}})";
  std::string manifest = encodeBase64(Bytes(json.begin(), json.end()));
  const Build build{manifest, "darwin-amd64", "amd64"};

  FaultyFiles files(Location(root.path() + "/home"));
  ScriptedApplication app(std::deque<int>(1000, firstButton), Location(resources));
  PosixProcesses processes;
  std::string installed = root.path() + "/home/.tovren/tools/console-9-amd64";
  std::size_t before = openDescriptors();
  for (int i = 0; i < 1000; ++i) {
    if (i % 2) writeFile(installed, "damaged");  // every other run installs anew, through a staging folder
    setup(Services{files, app, processes}, build);
    files.operations.clear();
  }
  EXPECT_EQ(openDescriptors(), before);
  EXPECT_EQ(contentOf(installed), console);
  std::vector<std::string> left;
  for (const auto& entry : fs::directory_iterator(root.path() + "/home/.tovren/tools")) left.push_back(entry.path().filename());
  std::sort(left.begin(), left.end());
  EXPECT_EQ(left, (std::vector<std::string>{"console-9-amd64", "setup.log"}));
  std::cout << "[ figures  ] repeated runs: 1000 in a row, 500 of them through a staging folder; open descriptors "
            << before << " before, " << openDescriptors() << " after; " << left.size() << " entries in the tools folder\n";
}

}  // namespace
}  // namespace tovren::testing
