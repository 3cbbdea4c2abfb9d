#include "install/runner.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "install/setup_failure.h"
#include "platform/error.h"
#include "tests/fakes.h"
#include "tests/program.h"

namespace tovren {
namespace {

using testing::TemporaryFolder;

// A log file with an open handle, and a shell to run in it.
struct LogFixture {
  LogFixture() : log((testing::writeFile(path(), ""), files.openForWriting(Location(path())))) {}
  std::string path() const { return folder.path() + "/setup.log"; }
  std::string text() const { return testing::contentOf(path()); }
  // Runs `script` with /bin/sh; the failure's description, or "ok".
  std::string shell(const std::string& script, std::vector<std::string> extra = {}) {
    std::vector<std::string> arguments{"-c", script};
    if (!extra.empty()) arguments.push_back("sh");
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    try {
      run(processes, Location("/bin/sh"), arguments, log, Location(folder.path()));
      return "ok";
    } catch (const std::exception& error) {
      return error.what();
    }
  }

  TemporaryFolder folder;
  PosixFileManager files;
  PosixProcesses processes;
  FileHandle log;
};

TEST(Runner, ExitStatusDecidesAndOutputLandsInTheLog) {
  struct Case {
    const char* script;
    const char* outcome;
    const char* log;
  } cases[] = {
      {"echo out; echo err >&2", "ok", "out\nerr\n"},
      {"echo failing >&2; exit 1", "Setup stopped (exit 1).", "failing\n"},
      {"exit 255", "Setup stopped (exit 255).", ""},
      {"cat; echo \"read: $?\"", "ok", "read: 0\n"},  // standard input ends at once
      {"readlink /proc/$$/fd/0", "ok", "/dev/null\n"},
      {"pwd", "ok", nullptr},                         // the working folder
      {"kill -KILL $$", "Setup stopped (exit 137).", ""},
      {"echo \"$0\"", "ok", "/bin/sh\n"},  // its own absolute path as its name
  };
  for (const auto& c : cases) {
    LogFixture fixture;
    EXPECT_EQ(fixture.shell(c.script), c.outcome) << c.script;
    EXPECT_EQ(fixture.text(), c.log ? c.log : fixture.folder.path() + "\n") << c.script;
  }
}

TEST(Runner, ArgumentsPassUnchangedWithoutAShell) {
  LogFixture fixture;
  EXPECT_EQ(fixture.shell("printf '[%s]' \"$@\"", {"two words", "$HOME", "*", ""}), "ok");
  EXPECT_EQ(fixture.text(), "[two words][$HOME][*][]");
}

TEST(Runner, ChildrenAppendInOrderAndSeeOnlyTheirStandardDescriptors) {
  LogFixture fixture;
  int leaked = ::open("/dev/null", O_RDONLY);  // inheritable, as a careless parent might leave one
  ASSERT_GE(leaked, 3);
  EXPECT_EQ(fixture.shell("echo first"), "ok");
  // Only shell builtins look, so no other process holds a descriptor meanwhile.
  EXPECT_EQ(fixture.shell("for fd in \"$@\"; do [ -e /proc/$$/fd/$fd ] && echo \"$fd is open\"; done; true",
                          {std::to_string(leaked), std::to_string(fixture.log.descriptor())}),
            "ok");
  ::close(leaked);
  EXPECT_EQ(fixture.text(), "first\n");
}

TEST(Runner, RefusedLaunchRaisesThePlatformErrorAndWritesNothing) {
  LogFixture fixture;
  EXPECT_THROW(
      try { run(fixture.processes, Location("/nonexistent/ditto"), {}, fixture.log, Location("/")); } catch (
          const PlatformError& error) {
        EXPECT_STREQ(error.what(), "Could not start \"/nonexistent/ditto\": No such file or directory.");
        throw;
      },
      PlatformError);
  testing::writeFile(fixture.folder.path() + "/plain", "not a program");
  EXPECT_EQ(fixture.shell("exit 0"), "ok");
  try {
    run(fixture.processes, Location(fixture.folder.path() + "/plain"), {}, fixture.log, Location("/"));
    ADD_FAILURE() << "started a file that is not executable";
  } catch (const PlatformError& error) {
    EXPECT_NE(std::string(error.what()).find("Permission denied"), std::string::npos) << error.what();
  }
  EXPECT_EQ(fixture.text(), "");
}

}  // namespace
}  // namespace tovren
