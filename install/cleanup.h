#pragma once

#include <functional>
#include <utility>

namespace tovren {

// Runs an action when the scope that holds it ends, on success and failure alike.
// A clean-up never raises: a failing action is ignored.
class Cleanup {
 public:
  explicit Cleanup(std::function<void()> action) : action_(std::move(action)) {}
  ~Cleanup() {
    try {
      action_();
    } catch (...) {
    }
  }
  Cleanup(const Cleanup&) = delete;
  Cleanup& operator=(const Cleanup&) = delete;

 private:
  std::function<void()> action_;
};

}  // namespace tovren
