#pragma once
// Runs a built program as a user would, with or without a terminal.

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tovren::testing {

struct Outcome {
  int status = -1;          // exit status, or 128 + N for signal N
  std::string errorOutput;  // standard error (without a terminal)
  std::string terminal;     // what the terminal showed (with a terminal)
};

struct Launch {
  std::string program;
  std::vector<std::string> arguments;
  std::map<std::string, std::string> environment = {};  // set on top of this process's
  // With a value: the program runs on a new pseudo-terminal and these keys are typed.
  // Without: it runs in a new session with no controlling terminal.
  std::optional<std::string> typed = std::nullopt;
  // With a value: the program is killed with SIGKILL this long after it started.
  std::optional<int> killAfterMicroseconds = std::nullopt;
};

Outcome run(const Launch& launch);

// Starts every launch (without a terminal) before waiting for any of them.
std::vector<Outcome> runTogether(const std::vector<Launch>& launches);

// A program running in the background (without a terminal) while the test works;
// ended with SIGTERM, if still running, when the value goes away.
class Background {
 public:
  explicit Background(const Launch& launch);
  ~Background();
  Background(const Background&) = delete;
  Background& operator=(const Background&) = delete;
  // Waits for the program to end.
  Outcome wait();

 private:
  int child_;
  bool waited_ = false;
  std::string errors_;
};

// The environment that puts the fault shim (tests/shim) between a program and the
// C library: its operations on paths that start with one of the colon-separated
// `scope` prefixes are numbered and logged to `log`, and the one numbered `at`
// is acted on: "fail", "kill", or "none".
std::map<std::string, std::string> shimmed(const std::string& scope, const std::string& log, long at = 0,
                                           const std::string& action = "none");

// A fresh folder under the system's temporary folder, removed with its content
// when the value goes away.
class TemporaryFolder {
 public:
  TemporaryFolder();
  ~TemporaryFolder();
  TemporaryFolder(const TemporaryFolder&) = delete;
  TemporaryFolder& operator=(const TemporaryFolder&) = delete;
  const std::string& path() const { return path_; }

 private:
  std::string path_;
};

// Every file and folder under `root` with its mode and content, one line each, for
// comparing trees byte for byte.
std::string snapshot(const std::string& root);

std::string contentOf(const std::string& path);
void writeFile(const std::string& path, const std::string& content);

}  // namespace tovren::testing
