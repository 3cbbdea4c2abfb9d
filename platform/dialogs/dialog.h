#pragma once
// One way to show alerts.

#include "platform/alert.h"

namespace tovren {

// What a dialog answers when it could not show the alert at all (the system
// would not take its texts): the next way of showing alerts shows it instead.
constexpr int notShown = -2000;

// Abstract because each way is its own implementation: the system's desktop
// dialog, the terminal dialog, or none.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual void bringToFront() = 0;
  // Shows the alert and blocks until it is answered; returns the response, or
  // notShown. A request to stop ends the wait with Interrupted
  // (platform/interruption.h).
  virtual int run(const Alert& alert) = 0;
};

}  // namespace tovren
