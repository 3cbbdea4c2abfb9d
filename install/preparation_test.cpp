#include "install/preparation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "install/setup_failure.h"
#include "tests/fakes.h"
#include "tests/program.h"

namespace tovren {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFiles;
using testing::ScriptedApplication;
using testing::TemporaryFolder;

const SetupManifest manifest{"0.8.3-runtime.1", {}};

unsigned modeOf(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// A throwaway home and the services of one run in it.
struct HomeRun {
  explicit HomeRun(std::deque<int> answers = {firstButton}) : files(Location(home.path())), app(std::move(answers)) {}
  std::string path(const std::string& relative) const { return home.path() + "/" + relative; }
  void plist(const std::string& text) const {
    fs::create_directories(path("Library/LaunchAgents"));
    testing::writeFile(path("Library/LaunchAgents/kestrine.console.plist"), text);
  }
  std::optional<Handover> prepare() {
    return tovren::prepare(Services{files, app, processes}, Location(home.path()), manifest);
  }

  TemporaryFolder home;
  FaultyFiles files;
  ScriptedApplication app;
  PosixProcesses processes;
};

TEST(Preparation, InstallKindComesFromTheVersionMarkerInThePlist) {
  struct Case {
    const char* name;
    std::optional<std::string> plist;
    InstallKind kind;
  } cases[] = {
      {"no plist", std::nullopt, InstallKind::firstInstallation},
      {"marker present", "<string>automatic-0.8.3-runtime.1-arm64</string>", InstallKind::sameVersion},
      {"marker anywhere, other architecture", "xautomatic-0.8.3-runtime.1-amd64", InstallKind::sameVersion},
      {"another version", "<string>automatic-0.8.2-runtime.1-arm64</string>", InstallKind::update},
      {"no trailing hyphen", "automatic-0.8.3-runtime.1", InstallKind::update},
      {"longer version that begins with this one", "automatic-0.8.3-runtime.10-arm64", InstallKind::update},
      {"capital first letter", "Automatic-0.8.3-runtime.1-arm64", InstallKind::update},
      {"empty", "", InstallKind::update},
      {"not UTF-8", "\xff\xfe automatic-0.8.3-runtime.1-arm64", InstallKind::update},
      {"byte-order mark", "\xEF\xBB\xBF" "automatic-0.8.3-runtime.1-", InstallKind::sameVersion},
  };
  for (const auto& c : cases) {
    HomeRun run;
    if (c.plist) run.plist(*c.plist);
    EXPECT_EQ(installKind(run.files, Location(run.home.path()), manifest.version), c.kind) << c.name;
  }
  HomeRun unreadable;
  unreadable.plist("automatic-0.8.3-runtime.1-");
  unreadable.files.setFault(FaultyFiles::failing("read " + unreadable.path("Library/LaunchAgents/kestrine.console.plist"), EACCES));
  EXPECT_EQ(installKind(unreadable.files, Location(unreadable.home.path()), manifest.version), InstallKind::update);
}

TEST(Preparation, PromptWordingFollowsTheKindAndOnlyTheFirstButtonGoesOn) {
  struct Case {
    const char* name;
    std::optional<std::string> plist;
    std::deque<int> answers;
    std::vector<std::string> prompt;  // message text and buttons; empty when no prompt
    bool prepared;
  } cases[] = {
      {"first installation", std::nullopt, {firstButton}, {"Set up TOVREN on this Mac", "Set up", "Cancel"}, true},
      {"update", "automatic-0.8.2-", {firstButton}, {"Update TOVREN on this Mac", "Update", "Cancel"}, true},
      {"same version", "automatic-0.8.3-runtime.1-", {}, {}, true},
      {"cancel", std::nullopt, {firstButton + 1}, {"Set up TOVREN on this Mac", "Set up", "Cancel"}, false},
      {"ended without a button", "old", {noButton}, {"Update TOVREN on this Mac", "Update", "Cancel"}, false},
  };
  for (const auto& c : cases) {
    HomeRun run(c.answers);
    if (c.plist) run.plist(*c.plist);
    std::string before = testing::snapshot(run.home.path());
    EXPECT_EQ(run.prepare().has_value(), c.prepared) << c.name;
    if (c.prompt.empty()) {
      EXPECT_TRUE(run.app.alerts.empty()) << c.name;
    } else {
      ASSERT_EQ(run.app.alerts.size(), 1u) << c.name;
      const Alert& alert = run.app.alerts[0];
      EXPECT_EQ(run.app.calls, (std::vector<std::string>{"activate", "alert"}));
      EXPECT_EQ(alert.messageText, c.prompt[0]) << c.name;
      EXPECT_EQ(alert.buttons, (std::vector<std::string>{c.prompt[1], c.prompt[2]})) << c.name;
    }
    if (!c.prepared) {
      EXPECT_EQ(testing::snapshot(run.home.path()), before) << c.name << ": nothing may change";
    }
  }
}

TEST(Preparation, ConsentPreparesPrivateFolderAndEmptyPrivateLogInOrder) {
  mode_t old = ::umask(0);  // the modes must not follow the umask
  HomeRun run;
  auto handover = run.prepare();
  ::umask(old);
  ASSERT_TRUE(handover);
  EXPECT_EQ(modeOf(run.path(".tovren")), 0700u);
  EXPECT_EQ(modeOf(run.path(".tovren/tools")), 0700u);
  EXPECT_EQ(modeOf(run.path(".tovren/tools/setup.log")), 0600u);
  EXPECT_EQ(testing::snapshot(run.path(".tovren")), "tools 700\ntools/setup.log 600 []\n");
  EXPECT_EQ(handover->toolsFolder.path(), run.path(".tovren/tools"));
  EXPECT_EQ(handover->setupLog.path(), run.path(".tovren/tools/setup.log"));

  // Each guard before the step it guards; the mode after the write.
  std::string tools = run.path(".tovren/tools"), log = tools + "/setup.log";
  std::vector<std::string> steps;
  for (const auto& operation : run.files.operations)
    if (operation.starts_with("attributes " + tools) || !operation.starts_with("attributes ")) steps.push_back(operation);
  EXPECT_EQ(steps, (std::vector<std::string>{"exists " + run.path("Library/LaunchAgents/kestrine.console.plist"),
                                             "attributes " + tools, "createFolder " + tools, "attributes " + log, "attributes " + tools,
                                             "write " + log, "setMode " + log, "openForWriting " + log}));
}

TEST(Preparation, OldLogIsEmptiedAndMadePrivateAndExistingFolderIsKept) {
  HomeRun run;
  fs::create_directories(run.path(".tovren/tools"));
  fs::permissions(run.path(".tovren/tools"), fs::perms(0755));
  testing::writeFile(run.path(".tovren/tools/setup.log"), "old output\n");
  fs::permissions(run.path(".tovren/tools/setup.log"), fs::perms(0644));
  auto handover = tovren::prepare(Services{run.files, run.app, run.processes}, Location(run.home.path()), manifest);
  ASSERT_TRUE(handover);
  // The handle writes at the start of the emptied log.
  ASSERT_EQ(::write(handover->log.descriptor(), "new", 3), 3);
  EXPECT_EQ(testing::contentOf(run.path(".tovren/tools/setup.log")), "new");
  EXPECT_EQ(modeOf(run.path(".tovren/tools/setup.log")), 0600u);
  EXPECT_EQ(modeOf(run.path(".tovren/tools")), 0755u);
}

TEST(Preparation, ErrorsLeaveUnchangedAndNothingIsUndone) {
  struct Case {
    const char* name;
    const char* failing;  // operation and path under the home folder
    std::string description;
    const char* left;  // what stays under .tovren
  } cases[] = {
      {"folder cannot be created", "createFolder /.tovren/tools",
       "Injected failure: createFolder \"HOME/.tovren/tools\": No space left on device.", nullptr},
      {"log cannot be written", "write /.tovren/tools/setup.log",
       "Injected failure: write \"HOME/.tovren/tools/setup.log\": No space left on device.", "tools 700\n"},
      {"mode cannot be set", "setMode /.tovren/tools/setup.log",
       "Injected failure: setMode \"HOME/.tovren/tools/setup.log\": No space left on device.", "tools 700\ntools/setup.log 600 []\n"},
      {"log cannot be opened", "openForWriting /.tovren/tools/setup.log",
       "Injected failure: openForWriting \"HOME/.tovren/tools/setup.log\": No space left on device.",
       "tools 700\ntools/setup.log 600 []\n"},
  };
  for (const auto& c : cases) {
    HomeRun run;
    std::string record = c.failing;
    record.insert(record.find(' ') + 1, run.home.path());
    run.files.setFault(FaultyFiles::failing(record, ENOSPC));
    std::string description = c.description;
    description.replace(description.find("HOME"), 4, run.home.path());
    try {
      run.prepare();
      ADD_FAILURE() << c.name << ": no error";
    } catch (const PlatformError& error) {
      EXPECT_EQ(error.what(), description) << c.name;
    }
    EXPECT_EQ(fs::exists(run.path(".tovren")) ? testing::snapshot(run.path(".tovren")) : "", c.left ? c.left : "") << c.name;
  }
}

TEST(Preparation, LinkOrFileInTheWayStopsBeforeAnythingIsCreated) {
  HomeRun linked;
  fs::create_directory(linked.path("elsewhere"));
  fs::create_directory_symlink(linked.path("elsewhere"), linked.path(".tovren"));
  try {
    linked.prepare();
    ADD_FAILURE() << "no error";
  } catch (const SetupFailure& failure) {
    EXPECT_EQ(failure.message, "Setup stopped because a destination folder is a symbolic link: " + linked.path(".tovren"));
  }
  EXPECT_TRUE(fs::is_empty(linked.path("elsewhere")));

  HomeRun log;
  fs::create_directories(log.path(".tovren/tools"));
  testing::writeFile(log.path("target"), "keep");
  fs::create_symlink(log.path("target"), log.path(".tovren/tools/setup.log"));
  EXPECT_THROW(log.prepare(), SetupFailure);
  EXPECT_EQ(testing::contentOf(log.path("target")), "keep");

  HomeRun file;
  testing::writeFile(file.path(".tovren"), "a file");
  try {
    file.prepare();
    ADD_FAILURE() << "no error";
  } catch (const PlatformError& error) {
    EXPECT_EQ(std::string(error.what()), "Could not create the folder \"" + file.path(".tovren/tools") + "\": Not a directory.");
  }
}

}  // namespace
}  // namespace tovren
