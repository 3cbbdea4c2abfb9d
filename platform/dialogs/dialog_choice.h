#pragma once
// The way alerts are shown on this machine.

#include <memory>

#include "platform/dialogs/dialog.h"

namespace tovren {

// The first way that works here: the desktop dialog (unless `desktop` is false,
// as once it could not show an alert), else the terminal dialog, else no
// interaction, where the texts go to standard error and no button is ever
// chosen.
[[nodiscard]] std::unique_ptr<Dialog> chooseDialog(bool desktop = true);

}  // namespace tovren
