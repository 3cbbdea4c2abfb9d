// The real program under every umask, under a fault or a kill at each of its
// operations, and many times at once.
#include <signal.h>

#include <cstring>
#include <random>
#include <set>
#include <sstream>

#include "platform/file_manager.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

struct Operation {
  std::string call, path;
  unsigned flags;
};

void firstInstallation(const Home&) {}

// An update, in a .tovren others may read: the run makes it private.
void update(const Home& home) {
  home.plist("<string>" + marker + "0.0.1-" + rowName + "</string>");
  fs::create_directories(home.tools());
  fs::permissions(home.path(".tovren"), fs::perms(0755)),
      fs::permissions(home.tools(), fs::perms(0700));
  writeFile(home.tools("setup.log"), "old output\n");
  writeFile(home.tools("console-0.0.1-" + rowName), "older console");
  writeFile(home.console(), "stale console of this version");
}

// A run in `home` through the shim, acting on operation `at`: what it logged.
// A failure reports `error` where one is given, and the program may be another bundle's.
Outcome shimmedRun(const Home& home, long at, const std::string& action,
                   std::vector<Operation>& operations, int& injected, int error = 0,
                   const std::string& program = setupProgram()) {
  TemporaryFolder logs;
  std::string bundle = fs::path(program).parent_path().parent_path().parent_path();
  auto environment =
      shimmed(home.path() + ":" + bundle + ":/proc/self/exe:signal:", logs.path("log"), at, action);
  if (error) environment["TOVREN_SHIM_ERRNO"] = std::to_string(error);
  Outcome outcome = home.run(environment, "1\n\n", program);
  std::istringstream lines(contentOf(logs.path("log")));
  Operation operation;
  for (std::string line, number; std::getline(lines, line);) {
    std::istringstream fields(line);
    if (line.starts_with("! "))
      injected = std::stoi(line.substr(2));
    else if (fields >> number >> operation.call >> std::oct >> operation.flags &&
             std::getline(fields >> std::ws, operation.path))
      operations.push_back(operation);
  }
  return outcome;
}

int alerts(const std::string& shown) {
  int n = 0;
  for (auto at = shown.find(alertTitle); at != std::string::npos;
       at = shown.find(alertTitle, at + 1))
    ++n;
  return n;
}

// Under every umask, even one that takes the owner's write permission: folders 700,
// the log 600 and emptied, the console 700, and every call that creates or opens
// is private and close-on-exec; every file renamed into place was flushed to disk
// first. Returns the operations.
std::vector<Operation> undisturbed(void (*arrange)(const Home&), const std::string& scenario) {
  std::vector<Operation> operations;
  for (mode_t umask : {0000, 0022, 0077, 0277}) {
    Home home;
    arrange(home);
    operations.clear();
    int none = 0;
    mode_t old = ::umask(umask);
    Outcome outcome = shimmedRun(home, 0, "none", operations, none);
    ::umask(old);
    std::string context = scenario + " under umask " + std::to_string(umask) + ": ";
    EXPECT_EQ(outcome.status, 0) << context << outcome.terminal;
    std::ostringstream modes;
    modes << std::oct << modeOf(home.path(".tovren")) << " " << modeOf(home.tools()) << " "
          << modeOf(home.tools("setup.log")) << " " << modeOf(home.console()) << " "
          << contentOf(home.tools("setup.log"));
    EXPECT_EQ(modes.str(), "700 700 600 700 tovren " + version + " (" + rowName + "): wrote " +
                               home.path(launchAgent) + "\n")
        << context;
    std::vector<std::string> flushed;
    for (const auto& operation : operations) {
      std::string what = context + operation.call + " " + operation.path;
      bool opens =
          operation.call == "open" || operation.call == "openat" || operation.call == "mkostemp";
      bool creates = opens ? operation.flags & O_CREAT || operation.call == "mkostemp"
                           : operation.call.find("mkdir") == 0 ||
                                 operation.call.find("chmod") != std::string::npos;
      EXPECT_TRUE(!opens || operation.flags & O_CLOEXEC) << what << " is not close-on-exec";
      EXPECT_TRUE(!creates || (operation.flags & 077) == 0) << what << " gives others access";
      if (operation.call == "write") std::erase(flushed, operation.path);
      if (operation.call == "fsync") flushed.push_back(operation.path);
      EXPECT_TRUE(operation.call != "rename" ||
                  std::count(flushed.begin(), flushed.end(), operation.path))
          << what << " was not flushed";
    }
  }
  return operations;
}

// Whether a kill before `operation` leaves the disk as a kill before the next
// operation that changes it would: a kill there adds nothing to prove.
bool changesNothing(const Operation& operation) {
  static const std::set<std::string> looks = {
      "stat", "lstat", "fstat", "read", "readlink", "close", "fsync", "sigaction", "sigprocmask"};
  bool opens = operation.call == "open" || operation.call == "openat";
  return looks.contains(operation.call) || (opens && !(operation.flags & (O_CREAT | O_TRUNC)));
}

// A kill runs none of the program's code: the disk it leaves is the same whatever
// compiler or processor made the program, so the build without sanitizers that
// runs natively proves it, and the others, where a run costs several times as
// much, prove the failures.
#if defined(TOVREN_SANITIZED) || defined(TOVREN_EMULATED)
constexpr bool killsProveSomething = false;
#else
constexpr bool killsProveSomething = true;
#endif

// Every operation of a run, failed once with a realistic error, then killed before
// each that changes the disk, and kills at random instants: one clear alert or a
// run that tolerates the fault, the old or the complete new console, no temporary
// file after a failure, and the next run succeeds and removes whatever staging
// folder or temporary file this one left.
void proveEveryFault(void (*arrange)(const Home&), const std::string& scenario, unsigned seed) {
  std::mt19937 random(seed);
  std::vector<Operation> operations = undisturbed(arrange, scenario);
  ASSERT_GT(operations.size(), 20u);
  std::vector<std::pair<std::string, long>> points;
  for (long at = 1; at <= static_cast<long>(operations.size()); ++at) {
    points.emplace_back("fail", at);
    if (killsProveSomething && !changesNothing(operations[at - 1])) points.emplace_back("kill", at);
  }
  if (killsProveSomething)
    for (int i = 0; i < 40; ++i)
      points.emplace_back("kill after", std::uniform_int_distribution<long>(0, 200000)(random));
  for (const auto& [action, at] : points) {
    Home home;
    arrange(home);
    std::string before = contentOf(home.console());
    std::vector<Operation> ignored;
    int injected = 0;
    Outcome outcome = action == "kill after"
                          ? runProgram({setupProgram(), {}, {{"HOME", home.path()}}, "1\n\n", at})
                          : shimmedRun(home, at, action, ignored, injected);
    std::string context =
        scenario + ", " + action + " " + std::to_string(at) +
        (action == "kill after" ? ""
                                : " " + operations[at - 1].call + " " + operations[at - 1].path) +
        "\n" + outcome.terminal;
    if (action == "fail") {
      EXPECT_NE(injected, 0) << context;
      EXPECT_EQ(alerts(outcome.terminal), outcome.status) << context;
      EXPECT_TRUE(outcome.status == 0 ||
                  outcome.terminal.find(std::strerror(injected)) != std::string::npos ||
                  outcome.terminal.find("The setup files are missing.") != std::string::npos)
          << context << "the alert says what failed";
      EXPECT_EQ(home.count(".") - home.count(".setup-"), 0)
          << context << "a temporary file is left";
      // A failing removal of the staging folder is ignored, and the folder stays.
      EXPECT_LE(home.count(".setup-"), outcome.status == 0 ? 1 : 0) << context;
    }
    EXPECT_TRUE(action != "kill" || outcome.status == 128 + SIGKILL) << context;
    EXPECT_TRUE(contentOf(home.console()) == before ||
                contentOf(home.console()) == shippedConsole())
        << context;
    Outcome next = home.run();
    EXPECT_EQ(next.status, 0) << context << next.terminal;
    EXPECT_EQ(contentOf(home.console()), shippedConsole()) << context;
    EXPECT_EQ(home.count("."), 0) << context << "a leftover survives the next run";
  }
}

// Two tests, so that the two scenarios run side by side.
TEST(Faults, EveryOperationOfAFirstInstallationFailedOrKilledLeavesNoHalfInstall) {
  proveEveryFault(&firstInstallation, "first installation", 20261206);
}

TEST(Faults, EveryOperationOfAnUpdateFailedOrKilledLeavesTheOldOrTheNewConsole) {
  proveEveryFault(&update, "update", 20261207);
}

// What is in place is examined in bounded memory, whatever its size: a console
// and a property list of a gibibyte each. Running out of memory while reading what the
// run needs, the archive and the staged console, ends the run with that reason;
// while examining what is in place or reading the log's end, it only counts as
// unreadable: the run goes on.
TEST(Faults, OutOfMemoryEndsARunOnlyWhereItNeedsTheBytesAndWhatIsInPlaceTakesLittle) {
  Home large;
  update(large);
  fs::resize_file(large.console(), std::uintmax_t{1} << 30);
  fs::resize_file(large.path(launchAgent), std::uintmax_t{1} << 30);
  Outcome replaced = large.run();
  EXPECT_EQ(replaced.status, 0) << replaced.terminal;
  EXPECT_LT(replaced.peakKiB, 64 << 10) << "KiB";
  EXPECT_EQ(contentOf(large.console()), shippedConsole());
  // An archive of a gibibyte, sparse, is only hashed: it is damaged, however large.
  Home damaged;
  fs::copy(mainBundle, damaged.path("TOVREN.app"), fs::copy_options::recursive);
  fs::resize_file(damaged.path("TOVREN.app/Contents/Resources/" + archiveName),
                  std::uintmax_t{1} << 30);
  Outcome refused =
      damaged.run({}, "1\n\n", damaged.path("TOVREN.app/Contents/MacOS/tovren-setup"));
  EXPECT_NE(refused.terminal.find("The setup archive did not pass verification."),
            std::string::npos)
      << refused.terminal;
  EXPECT_LT(refused.peakKiB, 64 << 10) << "KiB";
  const std::set<std::string> inPlace = {consoleName, fs::path(launchAgent).filename(),
                                         "setup.log"};
  for (std::string bundle : {"", "console-exits-3"}) {  // the second reads its log
    Home home;
    update(home);
    std::vector<Operation> operations;
    int injected = 0;
    shimmedRun(home, 0, "none", operations, injected, 0, setupProgram(bundle));
    std::set<std::string> read;
    for (long at = 1; at <= static_cast<long>(operations.size()); ++at) {
      if (operations[at - 1].call != "read") continue;
      Home again;
      update(again);
      std::vector<Operation> ignored;
      Outcome outcome =
          shimmedRun(again, at, "fail", ignored, injected, ENOMEM, setupProgram(bundle));
      std::string name = fs::path(operations[at - 1].path).filename();
      read.insert(name);
      bool tolerated = inPlace.count(name);
      EXPECT_EQ(outcome.status, tolerated && bundle.empty() ? 0 : 1) << name;
      EXPECT_NE(outcome.terminal.find("/" + name + "\": " + std::strerror(ENOMEM) + ".\n") ==
                    std::string::npos,
                !tolerated)
          << name << outcome.terminal;
    }
    EXPECT_TRUE(read.count(consoleName) && read.count(archiveName) &&
                read.count(fs::path(launchAgent).filename()) && read.count("tovren"))
        << "the console in place, the property list, the archive and the staged console were read";
    EXPECT_TRUE(bundle.empty() || read.count("setup.log")) << "the log was read";
  }
}

// Whether the process numbered `pid` has ended (a zombie not yet reaped has),
// or does within two seconds, as one killed does once it is scheduled.
bool ended(const std::string& pid) {
  for (int i = 0; i < 200; ++i, ::usleep(10000)) {
    std::string status = contentOf("/proc/" + pid + "/stat");
    if (status.empty() || status.find(") Z") != std::string::npos) return true;
  }
  return false;
}

// Asked to stop while its console runs, at any instant: the console is stopped
// with the helper it started, which ignores the request, one line says so, the
// run ends by the signal, nothing waits for a button, and the run ends within
// seconds, as a user expects. Where the shim is, each wait for the child starts
// late, so that a signal lands in any gap between the program's look at what
// happened and its wait. A run started with the signals blocked obeys them alike.
TEST(Concurrency, AnInterruptedRunStopsItsChildAndSaysSo) {
  std::mt19937 random(20261208);
  std::vector<int> signals{SIGTERM, SIGINT, SIGHUP, SIGTERM, SIGINT};
  const std::size_t blocked = 3, randomly = 5;  // rows from these on
  signals.insert(signals.end(), 20, SIGTERM);
  for (std::size_t i = 0; i < signals.size(); ++i) {
    Home home;
    home.plist();  // the same version: nothing is asked
    std::map<std::string, std::string> environment;
    // The launcher that blocks the signals is a program of this machine, which
    // the shim, built for the program's processor, may not fit.
    bool startedBlocked = i >= blocked && i < randomly;
#ifdef TOVREN_SHIM
    if (!startedBlocked) environment = shimmed("", "");
    environment["TOVREN_SHIM_WAIT_DELAY"] = "100000";
#endif
    environment["HOME"] = home.path();
    environment["CONSOLE_HELPER"] = "1";
    Running run({startedBlocked ? "/bin/sh" : setupProgram("console-waits"),
                 startedBlocked
                     ? std::vector<std::string>{"-c", blockedAtStart, setupProgram("console-waits")}
                     : std::vector<std::string>{},
                 environment});
    std::string pid = home.waitingConsole(), helper = home.waitingConsole("console-helper");
    ASSERT_FALSE(pid.empty() || helper.empty()) << "the console started, and its helper";
    if (i >= randomly) ::usleep(std::uniform_int_distribution<useconds_t>(0, 50000)(random));
    int signal = signals[i];
    run.signal(signal);
    Outcome outcome = run.wait(10);
    EXPECT_EQ(outcome.status, 128 + signal) << i;
    EXPECT_EQ(outcome.endedBy, signal) << i;
    EXPECT_EQ(outcome.errorOutput, "Setup was interrupted by signal " + std::to_string(signal) +
                                       " (" + ::strsignal(signal) + ").\n");
    EXPECT_NE(::kill(std::stoi(pid), 0), 0) << "the console was stopped";
    EXPECT_TRUE(ended(std::to_string(std::stoi(helper)))) << "and its helper";
    ::kill(std::stoi(helper), SIGKILL);
    EXPECT_EQ(home.count("."), 0);
  }
}

// Started with a stop signal ignored (nohup, a script's background job), a run
// and its console keep it ignored, and the run installs when the signal comes to
// both groups, the run's and the console's own. A console that ignores the
// request to stop is killed once the grace period is over, and the line says so.
TEST(Concurrency, AStopSignalIgnoredAtStartStaysIgnoredAndAConsoleThatIgnoresOneIsKilled) {
  // Under user-mode emulation, which this machine's own uname shows, the emulator
  // catches the signals itself, and a child it starts inherits none ignored.
  bool emulated = runProgram({"/bin/sh", {"-c", "uname -m >&2"}}).errorOutput !=
                  (rowName == "amd64" ? "x86_64\n" : "aarch64\n");
  if (emulated)
    std::cout << "[   NOTE   ] user-mode emulation: a stop signal ignored at start reaches the "
                 "run alone, as its console cannot inherit it ignored here\n";
  for (int signal : {SIGHUP, SIGINT, SIGTERM, 0}) {
    Home home;
    home.plist();
    std::string ignore = signal ? "trap '' " + std::to_string(signal) + "; " : "";
    Running run({"/bin/bash",
                 {"-c", ignore + "exec \"$0\"", setupProgram("console-waits")},
                 {{"HOME", home.path()}, {"CONSOLE_IGNORES_STOP", signal ? "" : "1"}}});
    std::string pid = home.waitingConsole();
    ASSERT_FALSE(pid.empty()) << "the console started";
    run.signal(signal ? signal : SIGTERM, !emulated || !signal);
    if (signal && !emulated) ::kill(-std::stoi(pid), signal);
    ::usleep(200000);
    if (signal) ::kill(std::stoi(pid), SIGUSR1);  // the console finishes
    Outcome outcome = run.wait(stopGraceSeconds + 5);
    EXPECT_EQ(outcome.status, signal ? 0 : 128 + SIGTERM) << signal << outcome.errorOutput;
    EXPECT_EQ(outcome.errorOutput,
              signal ? ""
                     : "Setup was interrupted by signal 15 (" + std::string(::strsignal(SIGTERM)) +
                           "). " + consoleName + " did not stop within " +
                           std::to_string(stopGraceSeconds) + " seconds and was killed.\n");
    EXPECT_EQ(::kill(std::stoi(pid), 0), -1) << "the console ended";
  }
}

// While another run holds the tools folder, a run waits before it touches it,
// the other's staging folder included, then installs; asked to stop, it stops
// waiting at once.
TEST(Concurrency, ARunWaitsForTheRunThatHoldsTheToolsFolder) {
  for (bool stopped : {false, true}) {
    Home home;
    home.plist();
    const std::string staging = ".setup-01234567-89AB-CDEF-0123-456789ABCDEF";
    fs::create_directories(home.tools(staging));
    std::optional<FileHandle> held = FileManager().lock(Location(home.tools()));
    Running run({setupProgram(), {}, {{"HOME", home.path()}}});
    ::usleep(300000);
    EXPECT_EQ(snapshot(home.tools()), staging + " 755\n")
        << "nothing is written or removed while the folder is held";
    if (stopped) {
      run.signal(SIGTERM);
      EXPECT_EQ(run.wait(5).endedBy, SIGTERM) << "while the folder is still held";
      continue;
    }
    held.reset();
    EXPECT_EQ(run.wait().status, 0);
    EXPECT_EQ(contentOf(home.console()), shippedConsole());
  }
}

// A stop while a file of many gibibytes (sparse) is hashed ends the run within
// moments, long before the hash would: the console in place, and the archive.
TEST(Concurrency, AStopWhileAHugeFileIsHashedEndsTheRunAtOnce) {
  for (bool archive : {false, true}) {
    Home home;
    home.plist();
    std::string setup = setupProgram();
    if (archive) {
      fs::copy(mainBundle, home.path("TOVREN.app"), fs::copy_options::recursive);
      fs::resize_file(home.path("TOVREN.app/Contents/Resources/" + archiveName),
                      std::uintmax_t{64} << 30);
      setup = home.path("TOVREN.app/Contents/MacOS/tovren-setup");
    } else {
      fs::create_directories(home.tools());
      writeFile(home.console(), "");
      fs::resize_file(home.console(), std::uintmax_t{64} << 30);
    }
    Running run({setup, {}, {{"HOME", home.path()}}});
    ::usleep(300000);
    run.signal(SIGTERM);
    Outcome outcome = run.wait(5);
    EXPECT_EQ(outcome.endedBy, SIGTERM) << (archive ? "the archive" : "the console in place");
    EXPECT_EQ(outcome.errorOutput,
              "Setup was interrupted by signal 15 (" + std::string(::strsignal(SIGTERM)) + ").\n");
  }
}

TEST(Concurrency, RunsStartedTogetherLeaveOneIntactConsole) {
  for (int together : {2, 10}) {
    Home home;
    home.plist();
    std::vector<std::unique_ptr<Running>> runs;
    while (runs.size() < static_cast<std::size_t>(together))
      runs.push_back(
          std::make_unique<Running>(Launch{setupProgram(), {}, {{"HOME", home.path()}}}));
    for (auto& run : runs) {
      Outcome outcome = run->wait();
      EXPECT_EQ(alerts(outcome.errorOutput), outcome.status) << outcome.errorOutput;
    }
    EXPECT_EQ(contentOf(home.console()), shippedConsole());
    EXPECT_EQ(modeOf(home.console()), 0700u);
    EXPECT_EQ(home.count("."), 0) << "no staging folder or temporary file";
  }
}

}  // namespace
}  // namespace tovren::testing
