#pragma once
// Stand-ins for the platform objects, for driving the program's logic in tests.

#include <deque>
#include <string>
#include <vector>

#include "platform/application.h"

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
