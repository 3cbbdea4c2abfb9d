// Installation end to end: the real program, its unpacker and console, in
// throwaway homes.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "tests/program.h"

namespace tovren::testing {
namespace {

namespace fs = std::filesystem;

const std::string mainBundle = TOVREN_MAIN_BUNDLE;
const std::string bundles = TOVREN_BUNDLES;
const std::string version = "0.8.3-runtime.1";

unsigned modeOf(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

struct Home {
  TemporaryFolder folder;
  std::string path(const std::string& relative = "") const { return folder.path() + (relative.empty() ? "" : "/" + relative); }
  std::string tools(const std::string& name = "") const { return path(".tovren/tools" + (name.empty() ? "" : "/" + name)); }
  Outcome run(const std::string& bundle, std::optional<std::string> typed = std::nullopt) const {
    return testing::run({bundle + "/Contents/MacOS/tovren-setup", {}, {{"HOME", path()}}, std::move(typed)});
  }
  std::vector<std::string> toolsEntries() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(tools())) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }
};

// A copy of the main bundle that a test may damage.
struct BundleCopy {
  BundleCopy() { fs::copy(mainBundle, path(), fs::copy_options::recursive); }
  std::string path(const std::string& relative = "") const {
    return folder.path() + "/TOVREN.app" + (relative.empty() ? "" : "/" + relative);
  }
  TemporaryFolder folder;
};

TEST(Install, FirstRunInstallsAndTheNextOnlyRunsTheConsole) {
  for (std::string row : {"amd64", "arm64"}) {
    Home home;
    std::string bundle = bundles + "/" + row + "-row.app";
    Outcome first = home.run(bundle, "1\n");
    ASSERT_EQ(first.status, 0) << first.terminal;
    std::string console = home.tools("console-" + version + "-" + row);
    EXPECT_EQ(contentOf(console), contentOf(std::string(TOVREN_ARCHIVES) + "/" + row + "/tovren")) << row;
    EXPECT_EQ(modeOf(home.path(".tovren")), 0700u);
    EXPECT_EQ(modeOf(home.tools()), 0700u);
    EXPECT_EQ(modeOf(home.tools("setup.log")), 0600u);
    EXPECT_EQ(modeOf(console), 0700u);
    EXPECT_EQ(home.toolsEntries(), (std::vector<std::string>{"console-" + version + "-" + row, "setup.log"}));
    std::string plist = contentOf(home.path("Library/LaunchAgents/kestrine.console.plist"));
    EXPECT_NE(plist.find("<string>" + console + "</string>"), std::string::npos) << plist;
    EXPECT_NE(plist.find("automatic-" + version + "-" + row), std::string::npos) << plist;

    Outcome second = home.run(bundle);  // no terminal: a prompt would decline
    EXPECT_EQ(second.status, 0) << second.errorOutput;
    EXPECT_EQ(second.errorOutput, "");
    EXPECT_EQ(contentOf(home.tools("setup.log")),
              "tovren " + version + " (" + row + "): wrote " + home.path("Library/LaunchAgents/kestrine.console.plist") + "\n");
  }
}

TEST(Install, TruncatedConsoleIsReplacedAndACorrectOneNeedsNoArchive) {
  Home home;
  ASSERT_EQ(home.run(mainBundle, "1\n").status, 0);
  std::string console = home.tools("console-" + version + "-" + TOVREN_ARCHITECTURE);
  std::string good = contentOf(console);
  writeFile(console, good.substr(0, 10));
  fs::permissions(console, fs::perms(0644));
  ASSERT_EQ(home.run(mainBundle).status, 0);
  EXPECT_EQ(contentOf(console), good);
  EXPECT_EQ(modeOf(console), 0700u);

  // Without archives, and with an unpacker that would fail, the console in place is run.
  BundleCopy copy;
  fs::remove(copy.path("Contents/Resources/MAC-X64.zip"));
  fs::remove(copy.path("Contents/Resources/MAC-ARM.zip"));
  writeFile(copy.path("Contents/MacOS/ditto"), "#!/bin/sh\ntouch \"$HOME/ditto-ran\"\nexit 1\n");
  Outcome outcome = home.run(copy.path());
  EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
  EXPECT_FALSE(fs::exists(home.path("ditto-ran")));
}

TEST(Install, DamagedArchiveFailsVerificationAndLeavesOnlyTheToolsFolderAndLog) {
  Home home;
  BundleCopy copy;
  for (const char* archive : {"MAC-X64.zip", "MAC-ARM.zip"}) {
    std::string path = copy.path(std::string("Contents/Resources/") + archive);
    std::string bytes = contentOf(path);
    bytes[bytes.size() / 2] ^= 1;
    writeFile(path, bytes);
  }
  Outcome outcome = home.run(copy.path(), "1\n\n");
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.terminal.find("The setup archive did not pass verification. Download a fresh TOVREN app.\r\n\r\n\r\n"
                                  "Setup log: " + home.tools("setup.log")),
            std::string::npos)
      << outcome.terminal;
  EXPECT_NE(outcome.terminal.find("1) OK"), std::string::npos);
  EXPECT_EQ(snapshot(home.path()), ".tovren 700\n.tovren/tools 700\n.tovren/tools/setup.log 600 []\n");
}

// Every way of showing the alert shows the whole message: the log's control
// characters as visible pictures, and the tail even where ICU cannot be loaded.
TEST(Install, FailingConsoleShowsItsExitAndItsOwnOutput) {
  TemporaryFolder logs;
  struct Case {
    const char* name;
    std::optional<std::string> typed;
    std::map<std::string, std::string> environment;
  } cases[] = {
      {"on a terminal", "\n", {}},
      {"without a terminal", std::nullopt, {}},
      {"without ICU", std::nullopt, shimmed("libicuuc", logs.path() + "/log", 1, "fail")},
  };
  for (auto& c : cases) {
    Home home;
    fs::create_directories(home.path("Library/LaunchAgents"));
    writeFile(home.path("Library/LaunchAgents/kestrine.console.plist"), "automatic-" + version + "-");
    c.environment["HOME"] = home.path();
    Outcome outcome = testing::run({bundles + "/console-exits-3.app/Contents/MacOS/tovren-setup", {}, c.environment, c.typed});
    std::string shown = c.typed ? outcome.terminal : outcome.errorOutput;
    std::erase(shown, '\r');
    EXPECT_EQ(outcome.status, 1) << c.name;
    EXPECT_NE(shown.find("Setup stopped (exit 3).\n\nconsole: cannot reach the session service\u2400\u241b[2J\n\n"
                         "Setup log: " + home.tools("setup.log")),
              std::string::npos)
        << c.name << ": " << shown;
    EXPECT_EQ(home.toolsEntries(), (std::vector<std::string>{"console-" + version + "-" + TOVREN_ARCHITECTURE, "setup.log"}));
  }
  EXPECT_NE(contentOf(logs.path() + "/log"), "") << "ICU was never asked for";
}

// A fifo where the program expects a file is taken as a file it cannot read:
// the property list then means an update, and the console is not in place.
TEST(Install, FifosInThePlacesOfFilesNeverStopTheRun) {
  for (std::string fifo : {std::string("Library/LaunchAgents/kestrine.console.plist"),
                           ".tovren/tools/console-" + version + "-" + TOVREN_ARCHITECTURE}) {
    Home home;
    fs::create_directories(home.path("Library/LaunchAgents"));
    fs::create_directories(home.tools());
    writeFile(home.path("Library/LaunchAgents/kestrine.console.plist"), "automatic-" + version + "-");
    fs::remove(home.path(fifo));
    ASSERT_EQ(::mkfifo(home.path(fifo).c_str(), 0600), 0);
    Outcome outcome = testing::run({"/usr/bin/timeout", {"--foreground", "20", mainBundle + "/Contents/MacOS/tovren-setup"},
                                    {{"HOME", home.path()}}, "1\n"});
    EXPECT_EQ(outcome.status, 0) << fifo << ": " << outcome.terminal;
    EXPECT_EQ(fifo.ends_with(".plist"), outcome.terminal.find("Update TOVREN on this Mac") != std::string::npos) << fifo;
    EXPECT_EQ(contentOf(home.tools("console-" + version + "-" + TOVREN_ARCHITECTURE)),
              contentOf(std::string(TOVREN_ARCHIVES) + "/" + TOVREN_ARCHITECTURE + "/tovren"));
  }
}

}  // namespace
}  // namespace tovren::testing
