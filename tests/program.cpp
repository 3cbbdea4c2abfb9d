#include "tests/program.h"

#include <fcntl.h>
#include <signal.h>
#include <pty.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <stdexcept>

extern char** environ;

namespace tovren::testing {

namespace fs = std::filesystem;

namespace {

std::vector<std::string> environmentWith(const std::map<std::string, std::string>& extra) {
  std::map<std::string, std::string> merged;
  for (char** entry = environ; *entry; ++entry) {
    std::string text = *entry;
    auto equals = text.find('=');
    merged[text.substr(0, equals)] = text.substr(equals + 1);
  }
  // A desktop would answer instead of the terminal: only a test that names a
  // display gets one.
  merged.erase("DISPLAY");
  merged.erase("WAYLAND_DISPLAY");
  for (const auto& [key, value] : extra) merged[key] = value;
  std::vector<std::string> result;
  for (const auto& [key, value] : merged) result.push_back(key + "=" + value);
  return result;
}

std::vector<char*> pointers(std::vector<std::string>& texts) {
  std::vector<char*> result;
  for (auto& text : texts) result.push_back(text.data());
  result.push_back(nullptr);
  return result;
}

int statusOf(pid_t child) {
  int status = 0;
  while (waitpid(child, &status, 0) < 0) {
    if (errno != EINTR) throw std::runtime_error("waitpid failed");
  }
  return WIFSIGNALED(status) ? 128 + WTERMSIG(status) : WEXITSTATUS(status);
}

// A program started without a terminal, in a session of its own.
struct Detached {
  pid_t child = 0;
  std::string errors;  // where its standard error goes
};

Detached startDetached(const Launch& launch, const std::string& errors) {
  std::vector<std::string> arguments{launch.program};
  arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<std::string> environment = environmentWith(launch.environment);
  auto argv = pointers(arguments);
  auto envp = pointers(environment);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
  posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawnattr_t attributes;
  posix_spawnattr_init(&attributes);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID);
  pid_t child = 0;
  int code = posix_spawn(&child, launch.program.c_str(), &actions, &attributes, argv.data(), envp.data());
  posix_spawn_file_actions_destroy(&actions);
  posix_spawnattr_destroy(&attributes);
  if (code != 0) throw std::runtime_error("cannot start " + launch.program);
  return Detached{child, errors};
}

Outcome finish(const Detached& started) {
  Outcome outcome;
  outcome.status = statusOf(started.child);
  outcome.errorOutput = contentOf(started.errors);
  return outcome;
}

void killLater(pid_t child, const std::optional<int>& microseconds) {
  if (!microseconds) return;
  usleep(static_cast<useconds_t>(*microseconds));
  kill(child, SIGKILL);
}

Outcome runOnTerminal(const Launch& launch) {
  std::vector<std::string> arguments{launch.program};
  arguments.insert(arguments.end(), launch.arguments.begin(), launch.arguments.end());
  std::vector<std::string> environment = environmentWith(launch.environment);
  auto argv = pointers(arguments);
  auto envp = pointers(environment);
  int terminal = -1;
  pid_t child = forkpty(&terminal, nullptr, nullptr, nullptr);
  if (child < 0) throw std::runtime_error("forkpty failed");
  if (child == 0) {
    execve(launch.program.c_str(), argv.data(), envp.data());
    _exit(127);
  }
  // The terminal keeps typed lines until the program reads them.
  const std::string& typed = *launch.typed;
  if (!typed.empty() && write(terminal, typed.data(), typed.size()) < 0) throw std::runtime_error("cannot type");
  killLater(child, launch.killAfterMicroseconds);
  Outcome outcome;
  char buffer[4096];
  for (ssize_t n; (n = read(terminal, buffer, sizeof buffer)) > 0 || (n < 0 && errno == EINTR);)
    if (n > 0) outcome.terminal.append(buffer, static_cast<std::size_t>(n));
  close(terminal);
  outcome.status = statusOf(child);
  return outcome;
}

}  // namespace

Outcome run(const Launch& launch) {
  if (launch.typed) return runOnTerminal(launch);
  TemporaryFolder folder;
  Detached started = startDetached(launch, folder.path() + "/stderr");
  killLater(started.child, launch.killAfterMicroseconds);
  return finish(started);
}

std::vector<Outcome> runTogether(const std::vector<Launch>& launches) {
  TemporaryFolder folder;
  std::vector<Detached> started;
  for (std::size_t i = 0; i < launches.size(); ++i)
    started.push_back(startDetached(launches[i], folder.path() + "/stderr-" + std::to_string(i)));
  std::vector<Outcome> outcomes;
  for (const auto& one : started) outcomes.push_back(finish(one));
  return outcomes;
}

Background::Background(const Launch& launch) {
  char pattern[] = "/tmp/tovren-background-XXXXXX";
  int fd = mkstemp(pattern);
  if (fd < 0) throw std::runtime_error("mkstemp failed");
  close(fd);
  errors_ = pattern;
  child_ = startDetached(launch, errors_).child;
}

Background::~Background() {
  if (!waited_) {
    kill(child_, SIGTERM);
    statusOf(child_);
  }
  unlink(errors_.c_str());
}

Outcome Background::wait() {
  waited_ = true;
  return finish(Detached{child_, errors_});
}

std::map<std::string, std::string> shimmed(const std::string& scope, const std::string& log, long at,
                                           const std::string& action) {
  return {{"LD_PRELOAD", TOVREN_SHIM},
          {"TOVREN_SHIM_SCOPE", scope},
          {"TOVREN_SHIM_LOG", log},
          {"TOVREN_SHIM_AT", std::to_string(at)},
          {"TOVREN_SHIM_ACTION", action},
          {"ASAN_OPTIONS", "verify_asan_link_order=0"}};
}

TemporaryFolder::TemporaryFolder() {
  std::string pattern = (fs::temp_directory_path() / "tovren-test-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TemporaryFolder::~TemporaryFolder() {
  std::error_code ignored;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ignored);
  fs::remove_all(path_, ignored);
}

std::string snapshot(const std::string& root) {
  // Directory order is the file system's; sort the entries for a stable comparison.
  std::vector<std::string> entries;
  for (auto it = fs::recursive_directory_iterator(root); it != fs::recursive_directory_iterator(); ++it) {
    auto status = it->symlink_status();
    std::ostringstream entry;
    entry << fs::relative(it->path(), root).string() << " " << std::oct << static_cast<unsigned>(status.permissions());
    if (fs::is_symlink(status)) entry << " -> " << fs::read_symlink(it->path()).string();
    else if (fs::is_regular_file(status)) entry << " [" << contentOf(it->path().string()) << "]";
    entries.push_back(entry.str());
  }
  std::sort(entries.begin(), entries.end());
  std::string text;
  for (const auto& entry : entries) text += entry + "\n";
  return text;
}

std::string contentOf(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(file), {});
}

void writeFile(const std::string& path, const std::string& content) {
  std::ofstream file(path, std::ios::binary | std::ios::trunc);
  file << content;
}

}  // namespace tovren::testing
