// The real program under injected faults and kills at each of its operations,
// under every umask, and run many times at once.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>

#include "tests/program.h"

namespace tovren::testing {
namespace {

namespace fs = std::filesystem;

const std::string bundle = TOVREN_MAIN_BUNDLE;
const std::string consoleName = std::string("console-0.8.3-runtime.1-") + TOVREN_ARCHITECTURE;
const std::string alertTitle = "TOVREN could not finish setup";

std::string shippedConsole() { return contentOf(std::string(TOVREN_ARCHIVES) + "/" + TOVREN_ARCHITECTURE + "/tovren"); }

struct Operation {
  long index;
  std::string call, path;
  unsigned flags;
};

// One home prepared for a scenario, and runs of the program in it.
struct Home {
  TemporaryFolder folder;
  std::string path(const std::string& relative = "") const { return folder.path() + (relative.empty() ? "" : "/" + relative); }
  std::string console() const { return path(".tovren/tools/" + consoleName); }
  std::optional<std::string> consoleBytes() const {
    if (fs::is_symlink(console()) || !fs::exists(console())) return std::nullopt;
    return contentOf(console());
  }
  // Names in the tools folder that start with `prefix` or contain `part`.
  int count(const std::string& prefix, const std::string& part = "\x01") const {
    int n = 0;
    if (!fs::exists(path(".tovren/tools"))) return 0;
    for (const auto& entry : fs::directory_iterator(path(".tovren/tools"))) {
      std::string name = entry.path().filename().string();
      n += name.starts_with(prefix) || name.find(part) != std::string::npos;
    }
    return n;
  }
  Outcome run(std::map<std::string, std::string> environment = {}, std::optional<int> killAfter = std::nullopt) const {
    environment["HOME"] = path();
    return testing::run({bundle + "/Contents/MacOS/tovren-setup", {}, environment, "1\n\n", killAfter});
  }
  // A run with the shim: operations counted, and the one at `at` acted upon.
  Outcome shimmed(const std::string& log, long at, const std::string& action) const {
    return run(testing::shimmed(path() + ":" + bundle + ":/proc/self/exe", log, at, action));
  }
};

struct Scenario {
  const char* name;
  std::function<void(const Home&)> arrange;
};

const Scenario scenarios[] = {
    {"first installation", [](const Home&) {}},
    {"update",
     [](const Home& home) {
       fs::create_directories(home.path("Library/LaunchAgents"));
       writeFile(home.path("Library/LaunchAgents/kestrine.console.plist"), "<string>automatic-0.8.2-runtime.1-amd64</string>");
       fs::create_directories(home.path(".tovren/tools"));
       fs::permissions(home.path(".tovren"), fs::perms(0700));
       fs::permissions(home.path(".tovren/tools"), fs::perms(0700));
       writeFile(home.path(".tovren/tools/setup.log"), "old output\n");
       writeFile(home.path(".tovren/tools/console-0.8.2-runtime.1-amd64"), "older console");
       writeFile(home.console(), "stale console of this version");
       fs::permissions(home.console(), fs::perms(0700));
     }},
};

std::vector<Operation> operationsIn(const std::string& log) {
  std::vector<Operation> operations;
  std::istringstream in(contentOf(log));
  for (std::string line; std::getline(in, line);) {
    if (line.starts_with("!")) continue;
    std::istringstream fields(line);
    Operation operation;
    fields >> operation.index >> operation.call >> operation.path >> std::oct >> operation.flags;
    operations.push_back(operation);
  }
  return operations;
}

int injectedError(const std::string& log) {
  std::string text = contentOf(log);
  auto at = text.rfind("! ");
  return at == std::string::npos ? 0 : std::stoi(text.substr(at + 2));
}

int alerts(const Outcome& outcome) {
  int n = 0;
  for (auto at = outcome.terminal.find(alertTitle); at != std::string::npos; at = outcome.terminal.find(alertTitle, at + 1)) ++n;
  return n;
}

// The operations of an undisturbed run of the scenario.
std::vector<Operation> recorded(const Scenario& scenario) {
  Home home;
  scenario.arrange(home);
  TemporaryFolder logs;
  Outcome outcome = home.shimmed(logs.path() + "/log", 0, "none");
  EXPECT_EQ(outcome.status, 0) << outcome.terminal;
  return operationsIn(logs.path() + "/log");
}

// The next run without faults succeeds, installs the verified console and makes
// no staging folder it leaves behind.
void expectRecovery(const Home& home, const std::string& context) {
  int staging = home.count(".setup-");
  Outcome next = home.run();
  EXPECT_EQ(next.status, 0) << context << "\n" << next.terminal;
  EXPECT_EQ(home.consoleBytes(), shippedConsole()) << context;
  EXPECT_EQ(home.count(".setup-"), staging) << context;
}

TEST(Faults, EveryOperationFailingOnceEndsInOneClearAlertAndLeavesNoHalfInstall) {
  for (const auto& scenario : scenarios) {
    std::vector<Operation> operations = recorded(scenario);
    ASSERT_GT(operations.size(), 20u);
    int held = 0, succeeded = 0, stagingKept = 0;
    for (const auto& operation : operations) {
      Home home;
      scenario.arrange(home);
      std::optional<std::string> before = home.consoleBytes();
      TemporaryFolder logs;
      Outcome outcome = home.shimmed(logs.path() + "/log", operation.index, "fail");
      std::string context = std::string(scenario.name) + ": failing #" + std::to_string(operation.index) + " " +
                            operation.call + " " + operation.path;
      int code = injectedError(logs.path() + "/log");
      bool ok = true;
      auto expect = [&](bool condition, const std::string& what) {
        EXPECT_TRUE(condition) << context << ": " << what << "\n" << outcome.terminal;
        ok = ok && condition;
      };
      expect(code != 0, "the fault was injected");
      expect(outcome.status == 0 || outcome.status == 1, "exit status 0 or 1");
      expect(alerts(outcome) == (outcome.status == 1 ? 1 : 0), "exactly one alert on failure, none on success");
      if (outcome.status == 1)
        expect(outcome.terminal.find(std::strerror(code)) != std::string::npos ||
                   outcome.terminal.find("The setup files are missing.") != std::string::npos,
               "the alert says what failed");
      auto now = home.consoleBytes();
      expect(now == before || now == shippedConsole(), "the console is the old one or the complete new one");
      expect(home.count("\x01", ".tmp-") == 0, "no temporary file remains");
      // A failing removal of the staging folder is ignored and the folder stays;
      // every other fault leaves none.
      bool removalFailed = outcome.status == 0 && home.count(".setup-") == 1;
      expect(home.count(".setup-") == 0 || removalFailed, "no staging folder remains");
      stagingKept += removalFailed;
      succeeded += outcome.status == 0;
      expectRecovery(home, context);
      held += ok;
    }
    std::cout << "[ figures  ] faults, " << scenario.name << ": " << operations.size() << " operations failed one at a time, "
              << held << " held (" << succeeded << " runs succeeded because the fault is one the program tolerates, "
              << stagingKept << " of them with a failed staging removal leaving the folder)\n";
  }
}

TEST(Crashes, KilledAtAnyOperationLeavesTheOldOrTheCompleteConsole) {
  std::mt19937 random(20261206);
  for (const auto& scenario : scenarios) {
    std::vector<Operation> operations = recorded(scenario);
    int held = 0, points = 0;
    auto check = [&](const std::function<Outcome(const Home&)>& killed, const std::string& context) {
      Home home;
      scenario.arrange(home);
      std::optional<std::string> before = home.consoleBytes();
      Outcome outcome = killed(home);
      auto now = home.consoleBytes();
      bool ok = (now == before || now == shippedConsole());
      EXPECT_TRUE(ok) << context;
      int failures = ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
      expectRecovery(home, context);
      ok = ok && failures == ::testing::UnitTest::GetInstance()->current_test_info()->result()->total_part_count();
      held += ok;
      ++points;
      return outcome;
    };
    for (const auto& operation : operations) {
      check([&](const Home& home) {
        TemporaryFolder logs;
        Outcome outcome = home.shimmed(logs.path() + "/log", operation.index, "kill");
        EXPECT_EQ(outcome.status, 128 + SIGKILL);
        return outcome;
      }, std::string(scenario.name) + ": killed before #" + std::to_string(operation.index) + " " + operation.call + " " + operation.path);
    }
    for (int i = 0; i < 40; ++i) {
      int delay = std::uniform_int_distribution<int>(0, 200000)(random);
      check([&](const Home& home) { return home.run({}, delay); },
            std::string(scenario.name) + ": killed after " + std::to_string(delay) + " microseconds");
    }
    std::cout << "[ figures  ] crashes, " << scenario.name << ": " << points << " kill points (" << operations.size()
              << " operations, 40 random instants), " << held << " held\n";
  }
}

// Every file the program creates is private from its first instant, whatever the
// umask, and every descriptor it opens is closed on exec.
TEST(Permissions, PrivateUnderEveryUmaskFromTheFirstInstant) {
  for (mode_t umask : {0000, 0022, 0077}) {
    for (const auto& scenario : scenarios) {
      Home home;
      scenario.arrange(home);
      TemporaryFolder logs;
      mode_t old = ::umask(umask);
      Outcome outcome = home.shimmed(logs.path() + "/log", 0, "none");
      ::umask(old);
      std::string context = std::string(scenario.name) + " under umask " + std::to_string(umask);
      ASSERT_EQ(outcome.status, 0) << context << outcome.terminal;
      auto mode = [](const std::string& path) { return static_cast<unsigned>(fs::status(path).permissions()); };
      EXPECT_EQ(mode(home.path(".tovren")), 0700u) << context;
      EXPECT_EQ(mode(home.path(".tovren/tools")), 0700u) << context;
      EXPECT_EQ(mode(home.path(".tovren/tools/setup.log")), 0600u) << context;
      EXPECT_EQ(mode(home.console()), 0700u) << context;
      for (const auto& operation : operationsIn(logs.path() + "/log")) {
        std::string what = context + ": " + operation.call + " " + operation.path;
        bool opens = operation.call == "open" || operation.call == "openat" || operation.call == "mkostemp";
        EXPECT_TRUE(!opens || (operation.flags & O_CLOEXEC)) << what << " is not close-on-exec";
        bool creates = operation.call == "mkdir" || operation.call == "mkostemp" || operation.call.find("chmod") != std::string::npos ||
                       (opens && (operation.flags & O_CREAT));
        EXPECT_TRUE(!creates || (operation.flags & 077) == 0) << what << " gives others access";
      }
    }
  }
}

TEST(Concurrency, RunsStartedTogetherLeaveOneIntactConsole) {
  for (int together : {2, 10}) {
    Home home;
    ASSERT_EQ(home.run().status, 0);
    std::vector<Launch> launches(together, Launch{bundle + "/Contents/MacOS/tovren-setup", {}, {{"HOME", home.path()}}, std::nullopt, std::nullopt});
    int failed = 0;
    for (const auto& outcome : runTogether(launches)) {
      EXPECT_TRUE(outcome.status == 0 || outcome.status == 1) << outcome.status;
      int titles = 0;
      for (auto at = outcome.errorOutput.find(alertTitle); at != std::string::npos; at = outcome.errorOutput.find(alertTitle, at + 1)) ++titles;
      EXPECT_EQ(titles, outcome.status) << outcome.errorOutput;
      failed += outcome.status;
    }
    EXPECT_EQ(home.consoleBytes(), shippedConsole());
    EXPECT_EQ(static_cast<unsigned>(fs::status(home.console()).permissions()), 0700u);
    EXPECT_EQ(home.count(".setup-") + home.count("\x01", ".tmp-"), 0);
    std::cout << "[ figures  ] concurrency: " << together << " runs together, " << together - failed << " succeeded, " << failed
              << " ended in one alert\n";
  }
}

}  // namespace
}  // namespace tovren::testing
