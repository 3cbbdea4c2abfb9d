#pragma once
// Stand-ins for the platform objects, for driving the program's logic in tests.

#include <deque>
#include <string>
#include <vector>

#include "platform/application.h"
#include "platform/error.h"

namespace tovren::testing {

// An application whose alerts are answered from a script, recording every call.
class ScriptedApplication : public Application {
 public:
  explicit ScriptedApplication(std::deque<int> answers = {}, std::optional<Location> resources = std::nullopt)
      : answers_(std::move(answers)), resources_(std::move(resources)) {}

  bool setAccessoryPolicy() override {
    calls.push_back("accessory");
    return true;
  }
  void activate() override { calls.push_back("activate"); }
  int runModal(const Alert& alert) override {
    calls.push_back("alert");
    alerts.push_back(alert);
    if (answers_.empty()) return noButton;
    int answer = answers_.front();
    answers_.pop_front();
    return answer;
  }
  std::optional<Location> resourceFolder() override { return resources_; }

  std::vector<std::string> calls;
  std::vector<Alert> alerts;

 private:
  std::deque<int> answers_;
  std::optional<Location> resources_;
};

}  // namespace tovren::testing

#include <cerrno>
#include <functional>

#include "platform/file_manager.h"
#include "platform/posix_file_manager.h"
#include "platform/processes.h"

namespace tovren::testing {

// The real file manager, with every operation recorded as "<operation> <path>" and
// any of them made to fail on demand with a realistic system error.
class FaultyFiles : public FileManager {
 public:
  // Decides, for each operation about to run, whether it fails and with which
  // error number (0: it runs).
  using Fault = std::function<int(const std::string& operation, const Location& location)>;

  explicit FaultyFiles(Location home, Fault fault = nullptr) : home_(std::move(home)), fault_(std::move(fault)) {}

  // Fails the operation whose record equals `record` (e.g. "setMode /h/x") with `code`.
  static Fault failing(const std::string& record, int code = EIO) {
    return [=](const std::string& operation, const Location& location) {
      return operation + " " + location.path() == record ? code : 0;
    };
  }

  void setFault(Fault fault) { fault_ = std::move(fault); }

  Location home() override { return home_; }
  bool exists(const Location& l) override { return check("exists", l), real_.exists(l); }
  Attributes attributes(const Location& l) override { return check("attributes", l), real_.attributes(l); }
  void createFolder(const Location& l, bool intermediates, unsigned mode) override {
    check("createFolder", l), real_.createFolder(l, intermediates, mode);
  }
  void setMode(const Location& l, unsigned mode) override { check("setMode", l), real_.setMode(l, mode); }
  void remove(const Location& l) override { check("remove", l), real_.remove(l); }
  FileContent read(const Location& l, Links links) override { return check("read", l), real_.read(l, links); }
  FileContent readEnd(const Location& l, std::size_t count) override { return check("read", l), real_.readEnd(l, count); }
  void write(const Location& l, std::span<const std::uint8_t> bytes) override { check("write", l), real_.write(l, bytes); }
  FileHandle openForWriting(const Location& l) override { return check("openForWriting", l), real_.openForWriting(l); }

  std::vector<std::string> operations;

 private:
  void check(const std::string& operation, const Location& location) {
    operations.push_back(operation + " " + location.path());
    if (int code = fault_ ? fault_(operation, location) : 0) raise("Injected failure: " + operation, location.path(), code);
  }

  PosixFileManager real_;
  Location home_;
  Fault fault_;
};

}  // namespace tovren::testing

namespace tovren::testing {

// Child programs that are not started: each task is recorded and answered by a
// scripted action, which may write into the log, touch files, raise or return a
// status.
class ScriptedProcesses : public Processes {
 public:
  using Action = std::function<int(const Task& task)>;
  explicit ScriptedProcesses(std::vector<Action> actions = {}) : actions_(std::move(actions)) {}

  int execute(const Task& task) override {
    tasks.push_back(task);
    if (tasks.size() > actions_.size()) return 0;
    return actions_[tasks.size() - 1](task);
  }

  std::vector<Task> tasks;

 private:
  std::vector<Action> actions_;
};

}  // namespace tovren::testing
