#include "tests/test.h"

#include <pty.h>
#include <signal.h>
#include <sys/wait.h>
#include <utmp.h>

#include <fstream>
#include <sstream>
#include <thread>

namespace tovren::testing {

std::string setupProgram(const std::string& testBundle) {
  return (testBundle.empty() ? mainBundle : TOVREN_BUNDLES "/" + testBundle + ".app") + "/Contents/MacOS/tovren-setup";
}

std::string shippedConsole(const std::string& architecture) { return contentOf(TOVREN_ARCHIVES "/" + architecture + "/tovren"); }

std::string contentOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void writeFile(const std::string& path, const std::string& content) { std::ofstream(path, std::ios::binary) << content; }

unsigned modeOf(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::string snapshot(const std::string& root) {
  std::vector<std::string> items;
  for (const auto& item : fs::recursive_directory_iterator(root)) {
    std::ostringstream line;
    line << item.path().lexically_relative(root).string() << " " << std::oct << modeOf(item.path());
    if (item.is_symlink()) line << " -> " << fs::read_symlink(item.path()).string();
    else if (item.is_regular_file()) line << " [" << contentOf(item.path()) << "]";
    items.push_back(line.str() + "\n");
  }
  std::sort(items.begin(), items.end());
  std::string text;
  for (const auto& item : items) text += item;
  return text;
}

TemporaryFolder::TemporaryFolder() : path_((fs::temp_directory_path() / "tovren-test-XXXXXX").string()) {
  if (!::mkdtemp(path_.data())) throw std::runtime_error("mkdtemp failed");
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  fs::remove_all(path_, ignored);
}

namespace {

// In the child: the launch's environment (no display unless it names one), then the program.
[[noreturn]] void execute(const Launch& launch) {
  ::unsetenv("DISPLAY"), ::unsetenv("WAYLAND_DISPLAY");
  for (const auto& [key, value] : launch.environment) ::setenv(key.c_str(), value.c_str(), 1);
  std::vector<char*> argv{const_cast<char*>(launch.program.c_str())};
  for (const auto& argument : launch.arguments) argv.push_back(const_cast<char*>(argument.c_str()));
  argv.push_back(nullptr);
  ::execv(launch.program.c_str(), argv.data());
  ::_exit(127);
}

int statusOf(pid_t child) {
  int status = 0;
  while (::waitpid(child, &status, 0) < 0)
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

void killLater(pid_t child, const Launch& launch) {
  if (launch.killAfterMicroseconds) ::usleep(static_cast<useconds_t>(*launch.killAfterMicroseconds)), ::kill(child, SIGKILL);
}

}  // namespace

Outcome runProgram(const Launch& launch) {
  if (!launch.typed) return Running(launch).wait();
  int terminal = -1, program = -1;
  termios settings{};
  if (::openpty(&terminal, &program, nullptr, nullptr, nullptr) != 0 || ::tcgetattr(program, &settings) != 0) throw std::runtime_error("openpty");
  settings.c_lflag &= ~tcflag_t{ECHO};
  ::tcsetattr(program, TCSANOW, &settings);
  pid_t child = ::fork();
  if (child == 0) ::close(terminal), ::login_tty(program), execute(launch);
  // The terminal keeps typed lines until the program reads them.
  if (child < 0 || ::write(terminal, launch.typed->data(), launch.typed->size()) < 0) throw std::runtime_error("fork");
  // This side holds the program's end open too: once every holder has closed it, a
  // read here can report the end before the last output has arrived. Instead, a mark
  // written behind the program's output once it has ended shows that all of it is here.
  const std::string end = "\x1e<end>";
  Outcome outcome;
  std::thread waiter([&] { killLater(child, launch), outcome.status = statusOf(child), ::write(program, end.data(), end.size()); });
  char buffer[4096];
  for (ssize_t n; !outcome.terminal.ends_with(end) && ((n = ::read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR));)
    outcome.terminal.append(buffer, static_cast<std::size_t>(std::max<ssize_t>(n, 0)));
  waiter.join();
  ::close(terminal), ::close(program);
  if (outcome.terminal.ends_with(end)) outcome.terminal.resize(outcome.terminal.size() - end.size());
  std::erase(outcome.terminal, '\r');
  return outcome;
}

Running::Running(const Launch& launch) : child_(::fork()) {
  if (child_ == 0) {
    int null = ::open("/dev/null", O_RDWR), errors = ::open(errors_.path("errors").c_str(), O_WRONLY | O_CREAT, 0600);
    ::dup2(null, 0), ::dup2(null, 1), ::dup2(errors, 2), ::setsid();
    execute(launch);
  }
  if (child_ < 0) throw std::runtime_error("fork");
  killLater(child_, launch);
}

Running::~Running() {
  if (child_ > 0) ::kill(child_, SIGTERM), statusOf(child_);
}

Outcome Running::wait() {
  int status = statusOf(std::exchange(child_, 0));
  return Outcome{status, contentOf(errors_.path("errors")), ""};
}

std::map<std::string, std::string> shimmed(const std::string& scope, const std::string& log, long at, const std::string& action) {
  return {{"LD_PRELOAD", TOVREN_SHIM}, {"TOVREN_SHIM_SCOPE", scope},   {"TOVREN_SHIM_LOG", log},
          {"TOVREN_SHIM_AT", std::to_string(at)}, {"TOVREN_SHIM_ACTION", action}, {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
}

void Home::plist(const std::string& text) const {
  fs::create_directories(fs::path(path(TOVREN_LAUNCH_AGENT)).parent_path());
  writeFile(path(TOVREN_LAUNCH_AGENT), text);
}

int Home::count(const std::string& prefix) const {
  std::error_code none;
  int n = 0;
  for (fs::directory_iterator entry(tools(), none), end; entry != end; ++entry) n += entry->path().filename().string().starts_with(prefix);
  return n;
}

Outcome Home::run(std::map<std::string, std::string> environment, std::optional<std::string> typed, const std::string& program) const {
  environment["HOME"] = path();
  return runProgram({program, {}, environment, typed});
}

int ScriptedApplication::runModal(const Alert& alert) {
  calls.push_back(alert.messageText);
  alerts.push_back(alert);
  int answer = answers_.empty() ? noButton : answers_.front();
  if (!answers_.empty()) answers_.pop_front();
  return answer;
}

}  // namespace tovren::testing
