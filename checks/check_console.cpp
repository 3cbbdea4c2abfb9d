// check_console: runs a vendor's consoles as setup runs them, before they ship,
// and checks their own part: that each ends with status 0, never reads its input,
// and leaves the launch agent's list naming the version of the build.
#include <fcntl.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "checks/console_archive.h"
#include "checks/program_kind.h"
#include "checks/tool_files.h"
#include "manifest/version_marker.h"
#include "tovren/constants.h"

extern char** environ;

namespace {

namespace fs = std::filesystem;

const char* const usage =
    "usage: check_console [--seconds N] VERSION (linux|macos) ARM64_ZIP AMD64_ZIP\n"
    "\n"
    "Runs the console of each archive as setup runs it: installed as\n"
    "HOME/.tovren/tools/console-VERSION-ARCHITECTURE in a new throwaway home, with\n"
    "--install-auto --home HOME, the home as its folder, its output to a log and\n"
    "no descriptor but the three standard ones. It must end with status 0 within N\n"
    "seconds (30 unless given), never read its standard input (setup gives it the\n"
    "null device), and leave HOME/Library/LaunchAgents/kestrine.console.plist\n"
    "naming VERSION. A console this machine cannot run is named, not run. One\n"
    "line per family.\n"
    "\n"
    "Exit status: 0 every console run did its part, 1 one did not, 2 an archive\n"
    "could not be read or is refused, 64 the command line is wrong.\n";

#ifdef __APPLE__
const std::string thisSystem = "macos";
#else
const std::string thisSystem = "linux";
#endif

// A folder of its own, removed with all it holds when the value goes; its path
// has a space, so a console that does not quote the home it is given shows it.
struct Throwaway {
  Throwaway() : path((fs::temp_directory_path() / "tovren console check-XXXXXX").string()) {
    if (!::mkdtemp(path.data())) throw std::runtime_error("could not make a throwaway home");
  }
  ~Throwaway() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
  }
  std::string path;
};

// How a run ended: not started (the system's reason), not ended in time, or with
// a status; and whether the console read its input.
struct Ran {
  std::string notStarted;
  bool ended = true, readInput = false;
  int status = 0;
};

// Starts the console at `program` as setup starts it, in a process group of its
// own, with `input` as its standard input; the system's reason where it could
// not be started goes into `failure`.
pid_t start(const std::string& program, const std::string& home, const std::string& log, int input,
            std::string& failure) {
  std::vector<std::string> texts = {program, "--install-auto", "--home", home};
  std::vector<std::string> variables = {"HOME=" + home};
  for (char** variable = environ; *variable; ++variable)
    if (!std::string(*variable).starts_with("HOME=")) variables.push_back(*variable);
  std::vector<char*> argv, envp;
  for (auto& text : texts) argv.push_back(text.data());
  for (auto& variable : variables) envp.push_back(variable.data());
  argv.push_back(nullptr), envp.push_back(nullptr);
  // The error number of a failed start comes back through this pipe; a start
  // closes it.
  int started[2];
  if (::pipe(started) != 0 || ::fcntl(started[1], F_SETFD, FD_CLOEXEC) != 0)
    throw std::runtime_error("could not make a pipe");
  pid_t child = ::fork();
  if (child == 0) {
    int output = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    sigset_t none;
    sigemptyset(&none), ::sigprocmask(SIG_SETMASK, &none, nullptr);
    ::setpgid(0, 0);
    if (output >= 0 && ::chdir(home.c_str()) == 0 && ::dup2(input, 0) == 0 &&
        ::dup2(output, 1) == 1 && ::dup2(output, 2) == 2) {
      for (int descriptor = 3; descriptor < 1024; ++descriptor)
        if (descriptor != started[1]) ::close(descriptor);
      ::execve(program.c_str(), argv.data(), envp.data());
    }
    int code = errno;
    (void)!::write(started[1], &code, sizeof code);
    ::_exit(127);
  }
  ::close(started[1]);
  int code = 0;
  if (::read(started[0], &code, sizeof code) == sizeof code) failure = std::strerror(code);
  ::close(started[0]);
  return child;
}

// The console at `program`, started as setup starts it, with standard input a
// pipe that holds one line and stays open, so that a console that reads it is
// told apart; waited for up to `seconds`, then its process group is killed.
Ran run(const std::string& program, const std::string& home, const std::string& log, int seconds) {
  int input[2];
  if (::pipe(input) != 0 || ::write(input[1], "\n", 1) != 1)
    throw std::runtime_error("could not make a pipe");
  Ran ran;
  pid_t child = start(program, home, log, input[0], ran.notStarted);
  int status = 0;
  auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(seconds);
  while (::waitpid(child, &status, WNOHANG) == 0) {
    if (std::chrono::steady_clock::now() >= deadline) {
      ::kill(-child, SIGKILL), ::waitpid(child, &status, 0), ran.ended = false;
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ::kill(-child, SIGKILL);  // what it left running, in the throwaway home
  int unread = 0;
  ran.readInput = ::ioctl(input[0], FIONREAD, &unread) == 0 && unread == 0;
  ::close(input[0]), ::close(input[1]);
  ran.status = WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
  return ran;
}

// The last line of the console's output, if any.
std::string lastLine(const std::string& log) {
  tovren::FileContent bytes = tovren::contentOf(log);
  std::string text(bytes.begin(), bytes.end());
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text.substr(text.rfind('\n') + 1);
}

// The markers the list holds, up to the first character that ends a marker.
std::string markersIn(const std::string& list) {
  std::string found, marker(tovren::constants::versionMarker);
  for (auto at = list.find(marker); at != std::string::npos; at = list.find(marker, at + 1)) {
    auto end = list.find_first_of("<>\"' \t\r\n", at);
    found += (found.empty() ? "" : ", ") + list.substr(at, end - at);
  }
  return found.empty() ? "no marker" : found;
}

// What is wrong with the console's own part, empty when nothing.
std::string judge(const Ran& ran, const std::string& home, const std::string& log,
                  const std::string& version, int seconds) {
  if (ran.readInput)
    return "it reads its standard input, which setup gives it as the null device: a console "
           "must never ask";
  if (!ran.ended) return "it had not ended after " + std::to_string(seconds) + " seconds";
  if (ran.status != 0)
    return "it ended with status " + std::to_string(ran.status) +
           "; its last line: " + lastLine(log);
  std::string listPath = home + "/" + std::string(tovren::constants::launchAgent);
  if (!fs::is_regular_file(listPath))
    return "it wrote no " + std::string(tovren::constants::launchAgent) +
           " in the home it was given, so setup would ask again at every run";
  tovren::FileContent bytes = tovren::contentOf(listPath);
  std::string list(bytes.begin(), bytes.end());
  if (tovren::namesVersion(list, version)) return "";
  return "its list names " + markersIn(list) + ", not version " + version + " (\"" +
         tovren::versionMarker(version, "") +
         "\" and its architecture), so setup would ask to update at every run: derive the "
         "version from the console's own name, console-<version>-<architecture>";
}

// One family's line: its console run and judged, or why it was not.
bool checkFamily(const std::string& version, const std::string& system, const std::string& zip,
                 const tovren::constants::Row& row, int seconds) {
  std::string family = tovren::familyName(system, row.architectureWord);
  family = family.substr(0, family.find(" ("));
  tovren::Bytes console = tovren::consoleIn(tovren::contentOf(zip), zip);
  tovren::requireRunsOn(console, zip, system, row.architectureWord);
  tovren::ProgramKind kind = tovren::kindOf(console);
  if (!kind.script && kind.system != thisSystem) {
    std::printf(
        "%s: not run here: its console is %s, which runs on %s only: run this check "
        "there\n",
        family.c_str(), kind.description.c_str(), system == "macos" ? "a Mac" : "Linux");
    return true;
  }
  Throwaway folder;
  std::string home = folder.path + "/home",
              tools = home + "/" + std::string(tovren::constants::toolsFolder),
              program = tools + "/console-" + version + "-" + std::string(row.architectureWord);
  fs::create_directories(tools);
  tovren::save(program,
               std::string_view(reinterpret_cast<const char*>(console.data()), console.size()));
  fs::permissions(program, fs::perms::owner_all);
  Ran ran = run(program, home, tools + "/setup.log", seconds);
  if (!ran.notStarted.empty()) {
    std::printf("%s: not run here: this machine cannot start %s: %s\n", family.c_str(),
                kind.description.c_str(), ran.notStarted.c_str());
    return true;
  }
  std::string fault = judge(ran, home, tools + "/setup.log", version, seconds);
  std::printf("%s: %s\n", family.c_str(),
              (fault.empty() ? "ok: its console registered version " + version
                             : "its console does not do its part: " + fault)
                  .c_str());
  return fault.empty();
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> arguments(argv + 1, argv + argc);
  int seconds = 30;
  if (arguments.size() > 1 && arguments[0] == "--seconds")
    seconds = std::atoi(arguments[1].c_str()),
    arguments.erase(arguments.begin(), arguments.begin() + 2);
  if (arguments.size() == 1 && arguments[0] == "--help") return std::printf("%s", usage), 0;
  if (arguments.size() != 4 || seconds <= 0 ||
      (arguments[1] != "linux" && arguments[1] != "macos")) {
    std::fprintf(stderr, "%s", usage);
    return tovren::constants::usageStatus;
  }
  bool fine = true;
  try {
    for (std::size_t i = 0; i < 2; ++i)
      fine = checkFamily(arguments[0], arguments[1], arguments[2 + i], tovren::constants::rows[i],
                         seconds) &&
             fine;
  } catch (const std::exception& error) {
    std::fprintf(stderr, "check_console: %s\n", error.what());
    return 2;
  }
  return fine ? 0 : 1;
}
