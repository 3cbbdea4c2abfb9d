#pragma once
// What the tests share: the built bundles, throwaway folders and homes, programs
// run as a user runs them, and a scripted application.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#if __has_include(<util.h>)
#include <util.h>
#elif defined(__APPLE__)
// The macOS C library has them; the headers of a build from another system may
// lack the header that declares them (util(3)).
extern "C" int openpty(int*, int*, char*, struct termios*, struct winsize*);
extern "C" int login_tty(int);
#else
#include <pty.h>
#include <utmp.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <numeric>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "checks/tool_files.h"
#include "platform/application.h"
#include "platform/processes.h"
#include "tovren/constants.h"

// Skips a row that needs what only Linux has, saying what, where the tests are
// built for another system.
#ifdef __APPLE__
#define TOVREN_LINUX_ONLY(what) GTEST_SKIP() << "needs Linux: it " << what
#else
#define TOVREN_LINUX_ONLY(what)
#endif

// Skips a row that cannot run its case on this machine, saying why; under CI,
// where every case must be proven, it fails instead.
#define TOVREN_CANNOT_PROVE_HERE(why)                                        \
  do {                                                                       \
    if (const char* ci = std::getenv("CI"); ci && std::string(ci) == "true") \
      FAIL() << "cannot prove here: " << why;                                \
    GTEST_SKIP() << why;                                                     \
  } while (0)

namespace tovren::testing {

namespace fs = std::filesystem;

// Allocations as a row asks for them (tests/allocations.cpp): each sets errno, as
// a successful malloc may; the first of at least `failingAllocation` bytes fails,
// once, as when a run runs out of memory.
extern bool allocationsSetErrno;
extern std::size_t failingAllocation;

// The constants of the build, and the row this test program is built for.
const std::string version(constants::consoleVersion), rowName(TOVREN_ROW),
    launchAgent(constants::launchAgent), marker(constants::versionMarker),
    toolsFolder(constants::toolsFolder), archiveName(constants::row(TOVREN_ROW).archive),
    platformKey(constants::row(TOVREN_ROW).platformKey),
    consoleName = "console-" + version + "-" + rowName;
const std::string mainBundle = TOVREN_MAIN_BUNDLE, alertTitle = "TOVREN could not finish setup";
// Starts the program in $0 as a launcher may, with the interrupt and terminate
// signals blocked; an alarm ends it if it still runs 20 seconds later, where one
// that never lets them in would wait for ever.
const std::string blockedAtStart =
    "exec perl -MPOSIX -e 'sigprocmask(SIG_BLOCK, POSIX::SigSet->new(SIGINT, SIGTERM)); alarm 20; "
    "exec @ARGV' \"$0\"";
#ifdef __APPLE__
const std::string unpacker = "/usr/bin/ditto";  // the system's; the bundle carries none
#else
const std::string unpacker = mainBundle + "/Contents/MacOS/" + std::string(constants::unpacker);
#endif

// The setup program of the main bundle, or of a test bundle such as "console-exits-3".
inline std::string setupProgram(const std::string& testBundle = "") {
  return (testBundle.empty() ? mainBundle : TOVREN_BUNDLES "/" + testBundle + ".app") +
         "/Contents/MacOS/tovren-setup";
}

// The file's content as the program reads it; the empty text where there is none.
inline std::string contentOf(const std::string& path) {
  try {
    FileContent content = tovren::contentOf(path);
    return std::string(content.begin(), content.end());
  } catch (const PlatformError&) {
    return "";
  }
}

inline std::string shippedConsole(const std::string& architecture = rowName) {
  return contentOf(TOVREN_ARCHIVES "/" + architecture + "/tovren");
}

inline void writeFile(const std::string& path, const std::string& content) {
  std::ofstream(path, std::ios::binary) << content;
}

// Of the item itself, 0 when there is none.
inline unsigned modeOf(const std::string& path) {
  struct stat status {};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

// Every item under `root`, sorted: its path, mode, and a file's content or a link's target.
inline std::string snapshot(const std::string& root) {
  std::vector<std::string> items;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::ostringstream line;
    line << item.path().lexically_relative(root).string() << " " << std::oct << modeOf(item.path());
    if (item.is_symlink())
      line << " -> " << fs::read_symlink(item.path()).string();
    else if (item.is_regular_file())
      line << " [" << contentOf(item.path()) << "]";
    items.push_back(line.str() + "\n");
  }
  std::sort(items.begin(), items.end());
  return std::accumulate(items.begin(), items.end(), std::string());
}

// A new folder, removed with all it holds when the value goes. Its path has a
// space, so everything run in it meets one.
class TemporaryFolder {
 public:
  TemporaryFolder() : path_((fs::temp_directory_path() / "tovren test-XXXXXX").string()) {
    if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
  }
  ~TemporaryFolder() {
    std::error_code ignored;
    fs::remove_all(path_, ignored);
  }
  TemporaryFolder(const TemporaryFolder&) = delete;
  std::string path(const std::string& relative = "") const {
    return path_ + (relative.empty() ? "" : "/" + relative);
  }

 private:
  std::string path_;
};

struct Outcome {
  int status = -1;  // or 128 + N for signal N
  int endedBy = 0;  // the signal that ended it; 0 when it exited
  std::string errorOutput, terminal;
  long peakKiB = 0;  // the most memory it held
};

struct Launch {
  std::string program;
  std::vector<std::string> arguments = {};
  std::map<std::string, std::string> environment = {};  // over this process's, less any display
  std::optional<std::string> typed = std::nullopt;      // typed on a terminal; none: no terminal
  std::optional<int> killAfterMicroseconds = std::nullopt;
  std::map<int, rlim_t> limits = {};  // e.g. RLIMIT_FSIZE: the value it starts with
  // Once the terminal shows it, `typed` is typed there, or Ctrl-C where that is empty.
  std::string typeAt = "";
};

// In the child: the launch's environment (no display unless it names one) and
// limits, then the program, with no descriptor but the standard three, whatever
// the test runner left open.
[[noreturn]] inline void execute(const Launch& launch) {
  for (int descriptor = 3; descriptor < 1024; ++descriptor) ::close(descriptor);
  // A run in this process blocks the signals it waits for; a program starts with none.
  sigset_t none;
  sigemptyset(&none), ::sigprocmask(SIG_SETMASK, &none, nullptr);
  ::unsetenv("DISPLAY"), ::unsetenv("WAYLAND_DISPLAY");
  for (const auto& [key, value] : launch.environment) ::setenv(key.c_str(), value.c_str(), 1);
  for (const auto& [resource, value] : launch.limits) {
    rlimit limit{value, value};
    ::setrlimit(resource, &limit);
  }
  std::vector<char*> argv{const_cast<char*>(launch.program.c_str())};
  for (const auto& argument : launch.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(launch.program.c_str(), argv.data());
  ::_exit(127);
}

inline void killLater(pid_t child, const Launch& launch) {
  if (launch.killAfterMicroseconds)
    ::usleep(static_cast<useconds_t>(*launch.killAfterMicroseconds)), ::kill(child, SIGKILL);
}

// Its termination status, once it has ended; the most memory it held and the
// signal that ended it, if one did, in `outcome`.
inline int statusOf(pid_t child, Outcome* outcome = nullptr) {
  int status = 0;
  rusage usage{};
  while (::wait4(child, &status, 0, &usage) < 0)
    if (errno != EINTR) throw std::runtime_error("wait4 failed");
  if (outcome) outcome->peakKiB = usage.ru_maxrss;
  if (outcome) outcome->endedBy = WIFSIGNALED(status) ? WTERMSIG(status) : 0;
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A program started without a terminal, in a session of its own; ended with
// SIGTERM when the value goes, unless waited for.
class Running {
 public:
  explicit Running(const Launch& launch) : child_(::fork()) {
    if (child_ == 0) {
      int null = ::open("/dev/null", O_RDWR),
          errors = ::open(errors_.path("errors").c_str(), O_WRONLY | O_CREAT, 0600);
      ::dup2(null, 0), ::dup2(null, 1), ::dup2(errors, 2), ::close(null), ::close(errors);
      ::setsid();
      execute(launch);
    }
    if (child_ < 0) throw std::runtime_error("fork");
    killLater(child_, launch);
  }
  ~Running() {
    if (child_ > 0) ::kill(child_, SIGTERM), statusOf(child_);
  }
  Running(const Running&) = delete;
  Outcome wait() {
    Outcome outcome;
    outcome.status = statusOf(std::exchange(child_, 0), &outcome);
    outcome.errorOutput = contentOf(errors_.path("errors"));
    return outcome;
  }
  // Waits at most `seconds`: a program still running then is killed, and ends
  // with 128 + SIGKILL.
  Outcome wait(int seconds) {
    siginfo_t ended{};
    for (int i = 0; i < seconds * 100; ++i, ::usleep(10000))
      if (::waitid(P_PID, child_, &ended, WEXITED | WNOHANG | WNOWAIT) == 0 && ended.si_pid)
        return wait();
    ::kill(child_, SIGKILL);
    return wait();
  }
  // To the program, or as a terminal sends it, to its whole process group.
  void signal(int number, bool group = false) const { ::kill(group ? -child_ : child_, number); }

 private:
  TemporaryFolder errors_;
  pid_t child_;
};

// Runs the program to its end, on a new terminal that does not echo what is typed
// (it shows only what the program writes), or without one.
inline Outcome runProgram(Launch launch) {
  if (!launch.typed) return Running(launch).wait();
  int terminal = -1, program = -1;
  termios settings{};
  if (::openpty(&terminal, &program, nullptr, nullptr, nullptr) != 0 ||
      ::tcgetattr(program, &settings) != 0)
    throw std::runtime_error("openpty");
  settings.c_lflag &= ~tcflag_t{ECHO};
  ::tcsetattr(program, TCSANOW, &settings);
  pid_t child = ::fork();
  if (child == 0) ::close(terminal), ::login_tty(program), execute(launch);
  // The terminal keeps typed lines until the program reads them; then it reads the
  // end of input, so a program that asks more than the test typed ends instead of waiting.
  const std::string typed =
      launch.typed->empty() && !launch.typeAt.empty() ? "\x03" : *launch.typed + "\x04";
  if (child < 0 || (launch.typeAt.empty() && ::write(terminal, typed.data(), typed.size()) < 0))
    throw std::runtime_error("fork");
  // This side holds the program's end open too: once every holder has closed it, a
  // read here can report the end before the last output has arrived. Instead, a mark
  // written behind the program's output once it has ended shows that all of it is here.
  const std::string end = "\x1e<end>";
  // Typing Ctrl-Q first lets out what the program wrote while its output was held.
  Outcome outcome;
  std::thread waiter([&] {
    killLater(child, launch), outcome.status = statusOf(child, &outcome),
                              ::write(terminal, "\x11", 1),
                              ::write(program, end.data(), end.size());
  });
  char buffer[4096];
  for (ssize_t n;
       !outcome.terminal.ends_with(end) &&
       ((n = ::read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR));) {
    outcome.terminal.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
    if (!launch.typeAt.empty() && outcome.terminal.ends_with(launch.typeAt))
      ::write(terminal, typed.data(), typed.size()), launch.typeAt.clear();
  }
  waiter.join();
  ::close(terminal), ::close(program);
  if (outcome.terminal.ends_with(end))
    outcome.terminal.resize(outcome.terminal.size() - end.size());
  std::erase(outcome.terminal, '\r');
  return outcome;
}

// The environment that puts tests/shim between a program and the C library: its
// operations on paths under the colon-separated `scope` prefixes are numbered and
// logged to `log` ("<number> <call> <octal flags> <path>"), and the one numbered
// `at` fails ("fail", logged as "! <errno>") or is killed ("kill").
#ifdef TOVREN_SHIM
inline std::map<std::string, std::string> shimmed(const std::string& scope, const std::string& log,
                                                  long at = 0, const std::string& action = "none") {
  return {{"LD_PRELOAD", TOVREN_SHIM},    {"TOVREN_SHIM_SCOPE", scope},
          {"TOVREN_SHIM_LOG", log},       {"TOVREN_SHIM_AT", std::to_string(at)},
          {"TOVREN_SHIM_ACTION", action}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
}
#endif

// A small file system (tmpfs, or `type` from `source`) mounted on `folder` with
// `options`, e.g. "size=64k", unmounted when the value goes; where none can be
// mounted (not root), it says so.
class SmallDisk {
 public:
  SmallDisk(const std::string& folder, const std::string& options, const std::string& row,
            const std::string& type = "tmpfs", const std::string& source = "tovren-test")
      : folder_(folder) {
    mounted_ = options.empty() ||
               runProgram({"/bin/mount", {"-t", type, "-o", options, source, folder}}).status == 0;
    if (!mounted_)
      std::cout << "[ skipped  ] " << row
                << ": cannot mount a small file system here (not root?)\n";
    if (options.empty()) folder_.clear();
  }
  ~SmallDisk() {
    if (mounted_ && !folder_.empty()) runProgram({"/bin/umount", {"-l", folder_}});
  }
  SmallDisk(const SmallDisk&) = delete;
  // Gives the mounted file system new options, such as more room.
  void remount(const std::string& options) {
    runProgram({"/bin/mount", {"-o", "remount," + options, folder_}});
  }
  bool mounted() const { return mounted_; }

 private:
  std::string folder_;
  bool mounted_;
};

struct Home : TemporaryFolder {
  std::string tools(const std::string& name = "") const {
    return path(toolsFolder + (name.empty() ? "" : "/" + name));
  }
  std::string console() const { return tools(consoleName); }
  // `text` with each TOOLS in it written as the tools folder's path.
  std::string withTools(std::string text) const {
    for (auto at = text.find("TOOLS"); at != std::string::npos; at = text.find("TOOLS", at))
      text.replace(at, 5, tools()), at += tools().size();
    return text;
  }
  // The process number the console-waits console writes once it runs (or its
  // helper, into `file`), waited for up to ten seconds; empty when it never came.
  std::string waitingConsole(const std::string& file = "console-waits") const {
    std::string pid;
    for (int i = 0; i < 1000 && (pid = contentOf(path(file))).empty(); ++i) ::usleep(10000);
    return pid;
  }
  // With the marker, nothing is asked.
  void plist(const std::string& text = marker + version + "-") const {
    fs::create_directories(fs::path(path(launchAgent)).parent_path());
    writeFile(path(launchAgent), text);
  }
  // Of names in the tools folder.
  int count(const std::string& prefix) const {
    std::error_code none;
    int n = 0;
    for (fs::directory_iterator entry(tools(), none), end; entry != end; ++entry)
      n += entry->path().filename().string().starts_with(prefix);
    return n;
  }
  Outcome run(std::map<std::string, std::string> environment = {},
              std::optional<std::string> typed = "1\n\n",
              const std::string& program = setupProgram()) const {
    environment["HOME"] = path();
    return runProgram({program, {}, environment, typed});
  }
};

// Records "activate" and each alert's message text in `calls`, and answers every alert with
// noButton.
struct ScriptedApplication : Application {
  explicit ScriptedApplication(std::optional<Location> folder = std::nullopt)
      : resources(std::move(folder)) {}
  void activate() override { calls.push_back("activate"); }
  int runModal(const Alert& alert) override {
    return calls.push_back(alert.messageText), alerts.push_back(alert), noButton;
  }
  std::optional<Location> resourceFolder() override { return resources; }

  std::vector<std::string> calls;
  std::vector<Alert> alerts;
  std::optional<Location> resources;
};

}  // namespace tovren::testing
