#pragma once
// One way to show alerts.

#include "platform/alert.h"

namespace tovren {

// Abstract because each way is its own implementation: the system's desktop
// dialog, the terminal dialog, or none.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual void bringToFront() = 0;
  // Shows the alert and blocks until it is answered; returns the response. A
  // request to stop ends the wait with Interrupted (platform/interruption.h).
  virtual int run(const Alert& alert) = 0;
};

}  // namespace tovren
