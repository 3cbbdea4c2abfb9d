#pragma once
// What the tests share: the built bundles, throwaway folders and homes, programs
// run as a user runs them, and a scripted application.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <deque>
#include <filesystem>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "platform/application.h"

namespace tovren::testing {

namespace fs = std::filesystem;

const std::string version = TOVREN_CONSOLE_VERSION, consoleName = "console-" + version + "-" TOVREN_ARCHITECTURE;
const std::string mainBundle = TOVREN_MAIN_BUNDLE, alertTitle = "TOVREN could not finish setup";

// The setup program of the main bundle, or of a test bundle such as "console-exits-3".
std::string setupProgram(const std::string& testBundle = "");
std::string shippedConsole(const std::string& architecture = TOVREN_ARCHITECTURE);
std::string contentOf(const std::string& path);
void writeFile(const std::string& path, const std::string& content);
unsigned modeOf(const std::string& path);  // of the item itself, 0 when there is none
// Every item under `root`, sorted: its path, mode, and a file's content or a link's target.
std::string snapshot(const std::string& root);

class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  std::string path(const std::string& relative = "") const { return path_ + (relative.empty() ? "" : "/" + relative); }

 private:
  std::string path_;
};

struct Outcome {
  int status = -1;  // or 128 + N for signal N
  std::string errorOutput, terminal;
};

struct Launch {
  std::string program;
  std::vector<std::string> arguments = {};
  std::map<std::string, std::string> environment = {};  // over this process's, less any display
  std::optional<std::string> typed = std::nullopt;       // typed on a terminal; none: no terminal
  std::optional<int> killAfterMicroseconds = std::nullopt;
};

// Runs the program to its end, on a new terminal that does not echo what is typed
// (it shows only what the program writes), or without one in a session of its own.
Outcome runProgram(const Launch& launch);

// A program started without a terminal; ended with SIGTERM when the value goes,
// unless waited for.
class Running {
 public:
  explicit Running(const Launch& launch);
  ~Running();
  Running(const Running&) = delete;
  Outcome wait();

 private:
  TemporaryFolder errors_;
  int child_;
};

// The environment that puts tests/shim between a program and the C library: its
// operations on paths under the colon-separated `scope` prefixes are numbered and
// logged to `log` ("<number> <call> <path> <octal flags>"), and the one numbered
// `at` fails ("fail", logged as "! <errno>") or is killed ("kill").
std::map<std::string, std::string> shimmed(const std::string& scope, const std::string& log, long at = 0,
                                           const std::string& action = "none");

struct Home : TemporaryFolder {
  std::string tools(const std::string& name = "") const { return path(".tovren/tools" + (name.empty() ? "" : "/" + name)); }
  std::string console() const { return tools(consoleName); }
  void plist(const std::string& text = "automatic-" + version + "-") const;  // with the marker, nothing is asked
  int count(const std::string& prefix) const;                                  // of names in the tools folder
  Outcome run(std::map<std::string, std::string> environment = {}, std::optional<std::string> typed = "1\n\n",
              const std::string& program = setupProgram()) const;
};

class ScriptedApplication : public Application {
 public:
  explicit ScriptedApplication(std::deque<int> answers = {}, std::optional<Location> resources = std::nullopt)
      : answers_(std::move(answers)), resources_(std::move(resources)) {}
  bool setAccessoryPolicy() override { return true; }
  void activate() override { calls.push_back("activate"); }
  int runModal(const Alert& alert) override;
  std::optional<Location> resourceFolder() override { return resources_; }

  std::vector<std::string> calls;  // "activate", and each alert's message text
  std::vector<Alert> alerts;

 private:
  std::deque<int> answers_;
  std::optional<Location> resources_;
};

}  // namespace tovren::testing
