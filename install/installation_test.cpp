#include "install/installation.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "install/digest.h"
#include "install/setup_failure.h"
#include "platform/error.h"
#include "tests/fakes.h"
#include "tests/program.h"

namespace tovren {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFiles;
using testing::ScriptedApplication;
using testing::ScriptedProcesses;
using testing::TemporaryFolder;

const std::string consoleBytes = "#!/bin/sh\necho console\n";
const std::string archiveBytes = "PK pretend zip";
const std::string oldConsole = "old console";
const Build build{"", "darwin-amd64", "amd64"};

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string digestOf(const std::string& text) { return digest(bytesOf(text)); }

void say(const Task& task, const std::string& text) {
  ASSERT_EQ(::write(task.output.descriptor(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

// What the unpacker does: leave `content` as "tovren" in the staging folder.
ScriptedProcesses::Action unpacking(const std::string& content) {
  return [=](const Task& task) {
    say(task, "ditto: unpacked\n");
    testing::writeFile(task.arguments.at(3) + "/tovren", content);
    return 0;
  };
}

ScriptedProcesses::Action exiting(int status, const std::string& output = "") {
  return [=](const Task& task) {
    say(task, output);
    return status;
  };
}

// A home prepared as the first phase leaves it, with a resource folder beside it.
struct Installation {
  Installation() : files(Location(home.path() + "/home")) {
    fs::create_directories(path("home/.tovren/tools"));
    fs::create_directories(path("Resources"));
    testing::writeFile(path("Resources/MAC-X64.zip"), archiveBytes);
    testing::writeFile(path("home/.tovren/tools/setup.log"), "");
    manifest.platforms["darwin-amd64"] = SetupAsset{"MAC-X64.zip", digestOf(archiveBytes), digestOf(consoleBytes)};
  }
  std::string path(const std::string& relative) const { return home.path() + "/" + relative; }
  std::string console() const { return path("home/.tovren/tools/console-0.8.3-runtime.1-amd64"); }
  bool stagingLeft() const {
    for (const auto& entry : fs::directory_iterator(path("home/.tovren/tools")))
      if (entry.path().filename().string().starts_with(".setup-")) return true;
    return false;
  }

  // Runs the phase; the failure's message, or "ok".
  std::string install(std::vector<ScriptedProcesses::Action> actions = {unpacking(consoleBytes)}) {
    processes = ScriptedProcesses(std::move(actions));
    Location tools(path("home/.tovren/tools"));
    Handover handover{Location(path("home")), manifest, tools, tools.append("setup.log"),
                      files.openForWriting(tools.append("setup.log"))};
    Services services{files, app, processes};
    try {
      tovren::install(services, std::move(handover), build);
      return "ok";
    } catch (const SetupFailure& failure) {
      return failure.message;
    }
  }

  TemporaryFolder home;
  FaultyFiles files;
  ScriptedApplication app{{}, Location(home.path() + "/Resources")};
  ScriptedProcesses processes;
  SetupManifest manifest{"0.8.3-runtime.1", {}};
};

TEST(Installation, FirstInstallationInstallsTheVerifiedBytesThenRunsTheConsole) {
  Installation run;
  std::vector<std::string> stagingAtHandOver;
  auto console = [&](const Task&) {
    stagingAtHandOver.push_back(run.stagingLeft() ? "staging left" : "no staging");
    return 0;
  };
  EXPECT_EQ(run.install({unpacking(consoleBytes), console}), "ok");
  EXPECT_EQ(testing::contentOf(run.console()), consoleBytes);
  struct stat status{};
  ASSERT_EQ(::stat(run.console().c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0700u);
  EXPECT_EQ(stagingAtHandOver, std::vector<std::string>{"no staging"});

  ASSERT_EQ(run.processes.tasks.size(), 2u);
  const Task& ditto = run.processes.tasks[0];
  EXPECT_EQ(ditto.executable.path(), run.path("Resources/ditto"));
  std::string staging = ditto.arguments.at(3);
  EXPECT_TRUE(staging.starts_with(run.path("home/.tovren/tools/.setup-"))) << staging;
  EXPECT_EQ(staging.size(), run.path("home/.tovren/tools/.setup-").size() + 36);
  EXPECT_EQ(ditto.arguments, (std::vector<std::string>{"-x", "-k", run.path("Resources/MAC-X64.zip"), staging}));
  EXPECT_EQ(ditto.workingFolder.path(), run.path("home"));
  const Task& handOver = run.processes.tasks[1];
  EXPECT_EQ(handOver.executable.path(), run.console());
  EXPECT_EQ(handOver.arguments, (std::vector<std::string>{"--install-auto", "--home", run.path("home")}));
  EXPECT_EQ(handOver.workingFolder.path(), run.path("home"));
}

TEST(Installation, UnpackerLiesBesideTheProgramInItsBundle) {
  EXPECT_EQ(unpackerFor(Location("/Apps/TOVREN.app/Contents/Resources")).path(), "/Apps/TOVREN.app/Contents/MacOS/ditto");
  EXPECT_EQ(unpackerFor(Location("/opt/tovren")).path(), "/opt/tovren/ditto");
  EXPECT_EQ(unpackerFor(Location("/opt/Contents/Resources")).path(), "/opt/Contents/Resources/ditto");
}

TEST(Installation, ConsoleInPlaceIsOnlyRunAndAWrongOneIsReplaced) {
  Installation inPlace;
  testing::writeFile(inPlace.console(), consoleBytes);
  fs::permissions(inPlace.console(), fs::perms(0750));
  fs::remove(inPlace.path("Resources/MAC-X64.zip"));
  EXPECT_EQ(inPlace.install({exiting(0)}), "ok");
  EXPECT_EQ(inPlace.processes.tasks.size(), 1u);
  EXPECT_EQ(fs::status(inPlace.console()).permissions(), fs::perms(0750));  // not set again

  // A console whose permissions an earlier run could not set gets them, and starts.
  Installation modeless;
  testing::writeFile(modeless.console(), consoleBytes);
  fs::permissions(modeless.console(), fs::perms(0600));
  EXPECT_EQ(modeless.install({exiting(0)}), "ok");
  EXPECT_EQ(fs::status(modeless.console()).permissions(), fs::perms(0700));
  EXPECT_EQ(modeless.processes.tasks.size(), 1u);

  Installation truncated;
  testing::writeFile(truncated.console(), consoleBytes.substr(0, 5));
  EXPECT_EQ(truncated.install(), "ok");
  EXPECT_EQ(testing::contentOf(truncated.console()), consoleBytes);
  EXPECT_EQ(fs::status(truncated.console()).permissions(), fs::perms(0700));
  EXPECT_EQ(truncated.processes.tasks.size(), 2u);
}

// Every way this phase can fail: the message's first piece and what is left.
TEST(Installation, EveryFailureLeavesAsOneMessageWithTheLogTail) {
  struct Case {
    const char* name;
    std::function<void(Installation&)> arrange;
    std::vector<ScriptedProcesses::Action> actions;
    std::string description;  // HOME stands for the temporary folder
    bool consoleInstalled;    // else the old console stays
    std::string tail = "";
  };
  const std::string missing = "The setup files are missing. Download a fresh TOVREN app.";
  auto fail = [](const std::string& record, int code = EIO) {
    return [=](Installation& run) {
      std::string resolved = record;
      resolved.replace(resolved.find("HOME"), 4, run.home.path());
      run.files.setFault([=](const std::string& operation, const Location& location) {
        std::string full = operation + " " + location.path();
        return full == resolved || (resolved.ends_with("*") && full.starts_with(resolved.substr(0, resolved.size() - 1)))
                   ? code : 0;
      });
    };
  };
  const auto unpack = unpacking(consoleBytes);
  Case cases[] = {
      {"no entry for this build", [](Installation& run) { run.manifest.platforms = {{"darwin-AMD64", {}}}; }, {}, missing, false},
      {"no resource folder", [](Installation& run) { run.app = ScriptedApplication({}, std::nullopt); }, {}, missing, false},
      {"console location is a link",
       [](Installation& run) { fs::create_symlink(run.path("elsewhere"), run.console()); }, {},
       "Setup stopped because a destination folder is a symbolic link: HOME/home/.tovren/tools/console-0.8.3-runtime.1-amd64",
       false},
      {"archive missing", [](Installation& run) { fs::remove(run.path("Resources/MAC-X64.zip")); }, {},
       "Could not read \"HOME/Resources/MAC-X64.zip\": No such file or directory.", false},
      {"archive damaged", [](Installation& run) { testing::writeFile(run.path("Resources/MAC-X64.zip"), "PK damaged"); },
       {}, "The setup archive did not pass verification. Download a fresh TOVREN app.", false},
      {"upper-case archive digest",
       [](Installation& run) {
         auto& digestText = run.manifest.platforms["darwin-amd64"].sha256;
         std::transform(digestText.begin(), digestText.end(), digestText.begin(), ::toupper);
       },
       {}, "The setup archive did not pass verification. Download a fresh TOVREN app.", false},
      {"staging folder cannot be made", fail("createFolder HOME/home/.tovren/tools/.setup-*", ENOSPC), {},
       "Injected failure: createFolder \"HOME/home/.tovren/tools/.setup-UUID\": No space left on device.", false},
      {"unpacker cannot start", {}, {[](const Task&) -> int { throw PlatformError("Could not start", "/x/ditto", "No such file or directory"); }},
       "Could not start \"/x/ditto\": No such file or directory.", false},
      {"unpacker fails", {}, {exiting(1, "ditto: cannot read the archive\n")}, "Setup stopped (exit 1).", false,
       "ditto: cannot read the archive\n"},
      {"staged console is a link", {},
       {[](const Task& task) {
         fs::create_symlink("/etc/passwd", task.arguments.at(3) + "/tovren");
         return 0;
       }},
       "Setup stopped because a destination folder is a symbolic link: HOME/home/.tovren/tools/.setup-UUID/tovren", false},
      {"no console in the archive", {}, {exiting(0)},
       "Could not read \"HOME/home/.tovren/tools/.setup-UUID/tovren\": No such file or directory.", false},
      {"staged console damaged", {}, {unpacking(consoleBytes + " ")}, "The console did not pass verification.", false,
       "ditto: unpacked\n"},
      {"console cannot be written", fail("write HOME/home/.tovren/tools/console-0.8.3-runtime.1-amd64", ENOSPC), {unpack},
       "Injected failure: write \"HOME/home/.tovren/tools/console-0.8.3-runtime.1-amd64\": No space left on device.", false,
       "ditto: unpacked\n"},
      {"console mode cannot be set", fail("setMode HOME/home/.tovren/tools/console-0.8.3-runtime.1-amd64", EPERM), {unpack},
       "Injected failure: setMode \"HOME/home/.tovren/tools/console-0.8.3-runtime.1-amd64\": Operation not permitted.", true,
       "ditto: unpacked\n"},
      {"console cannot start", {},
       {unpack, [](const Task&) -> int { throw PlatformError("Could not start", "x", "Exec format error"); }},
       "Could not start \"x\": Exec format error.", true, "ditto: unpacked\n"},
      {"console fails", {}, {unpack, exiting(3, "console: no session\n")}, "Setup stopped (exit 3).", true,
       "ditto: unpacked\nconsole: no session\n"},
  };
  for (auto& c : cases) {
    Installation run;
    testing::writeFile(run.console(), oldConsole);
    if (c.name == std::string("console location is a link")) fs::remove(run.console());
    if (c.arrange) c.arrange(run);
    std::string message = run.install(c.actions);

    std::string description = c.description;
    for (auto at = description.find("HOME"); at != std::string::npos; at = description.find("HOME"))
      description.replace(at, 4, run.home.path());
    if (auto at = description.find(".setup-UUID"); at != std::string::npos) {
      auto created = std::find_if(run.files.operations.begin(), run.files.operations.end(),
                                  [](const std::string& op) { return op.starts_with("createFolder"); });
      ASSERT_NE(created, run.files.operations.end());
      description.replace(at, 11, created->substr(created->rfind('/') + 1));
    }
    EXPECT_EQ(message, description + "\n\n" + c.tail + "\nSetup log: " + run.path("home/.tovren/tools/setup.log")) << c.name;
    EXPECT_FALSE(run.stagingLeft()) << c.name;
    EXPECT_EQ(fs::is_symlink(run.console()) ? "link" : testing::contentOf(run.console()),
              c.consoleInstalled ? consoleBytes : (fs::is_symlink(run.console()) ? "link" : oldConsole))
        << c.name;
  }
}

TEST(Installation, FailingStagingRemovalChangesNeitherOutcomeNorMessage) {
  Installation run;
  run.files.setFault([](const std::string& operation, const Location&) { return operation == "remove" ? EIO : 0; });
  EXPECT_EQ(run.install(), "ok");
  EXPECT_TRUE(run.stagingLeft());  // it could not be removed, and nothing else removes it
}

}  // namespace
}  // namespace tovren
