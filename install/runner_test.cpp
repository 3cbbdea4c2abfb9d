#include "install/runner.h"

#include "platform/file_manager.h"
#include "platform/processes.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// Its absolute path as argv[0], then every argument byte for byte: no shell between.
TEST(Runner, ChildGetsItsAbsolutePathAndItsArgumentsAsTheyStand) {
  TOVREN_LINUX_ONLY("reads the child's arguments from /proc");
  TemporaryFolder folder;
  writeFile(folder.path("setup.log"), "");
  FileManager files;
  Processes processes;
  catchInterruptions();
  std::vector<std::string> arguments{"-c", "cat /proc/$$/cmdline", "two words", "$HOME", "*", ""};
  run(processes, Location("/bin/sh"), arguments,
      files.openForWriting(Location(folder.path("setup.log"))), Location("/"));
  std::string expected = "/bin/sh";
  for (const auto& argument : arguments) expected += '\0' + argument;
  EXPECT_EQ(contentOf(folder.path("setup.log")), expected + '\0');
}

}  // namespace
}  // namespace tovren::testing
