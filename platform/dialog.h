#pragma once
// The ways a modal alert can be shown.

#include <memory>

#include "platform/application.h"

namespace tovren {

// One way to show alerts, chosen when the first alert is shown. Abstract because
// each way is its own implementation: the system's desktop dialog, the terminal
// dialog, or none.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual void bringToFront() = 0;
  virtual int run(const Alert& alert) = 0;
};

// The first way that works on this machine: the desktop dialog, else the terminal
// dialog, else no interaction, where the texts go to standard error and no button
// is ever chosen.
std::unique_ptr<Dialog> chooseDialog();

}  // namespace tovren
