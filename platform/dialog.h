#pragma once
// The ways a modal alert can be shown on this system.

#include <memory>

#include "platform/application.h"
#include "platform/file_handle.h"

namespace tovren {

// One way to show alerts. Abstract so each way is chosen once, at start.
class Dialog {
 public:
  virtual ~Dialog() = default;
  virtual void bringToFront() = 0;
  virtual int run(const Alert& alert) = 0;
};

// A desktop dialog, when a display is named and the toolkit can open it; none
// otherwise.
std::unique_ptr<Dialog> openDesktopDialog();

// The terminal dialog on the controlling terminal, or none when there is none.
std::unique_ptr<Dialog> openTerminalDialog();

// The terminal dialog on the open `terminal`.
std::unique_ptr<Dialog> terminalDialog(FileHandle terminal);

// No interaction: the texts go to standard error, and no button is ever chosen.
std::unique_ptr<Dialog> silentDialog();

// The first way that works on this machine.
std::unique_ptr<Dialog> chooseDialog();

}  // namespace tovren
