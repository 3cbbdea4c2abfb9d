#include "install/runner.h"

#include "platform/posix_file_manager.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// What a child is started with; the rest of what it sees is proved on whole runs.
TEST(Runner, ChildGetsItsAbsolutePathAndItsArgumentsAsTheyStand) {
  struct Case {
    std::vector<std::string> arguments;
    std::string outcome, log;
  } cases[] = {
      {{"-c", "echo \"$0\""}, "ok", "/bin/sh\n"},
      {{"-c", "printf '[%s]' \"$@\"", "sh", "two words", "$HOME", "*", ""}, "ok", "[two words][$HOME][*][]"},
      {{"-c", "exit 255"}, "Setup stopped (exit 255).", ""},
  };
  for (const auto& c : cases) {
    TemporaryFolder folder;
    writeFile(folder.path("setup.log"), "");
    PosixFileManager files;
    PosixProcesses processes;
    std::string outcome = "ok";
    try {
      run(processes, Location("/bin/sh"), c.arguments, files.openForWriting(Location(folder.path("setup.log"))), Location("/"));
    } catch (const std::exception& error) {
      outcome = error.what();
    }
    EXPECT_EQ(outcome, c.outcome) << c.arguments[1];
    EXPECT_EQ(contentOf(folder.path("setup.log")), c.log) << c.arguments[1];
  }
}

}  // namespace
}  // namespace tovren::testing
