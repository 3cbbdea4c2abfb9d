#pragma once
// The way alerts are shown on this machine.

#include <memory>

#include "platform/dialog.h"

namespace tovren {

// The first way that works here: the desktop dialog, else the terminal dialog,
// else no interaction, where the texts go to standard error and no button is
// ever chosen.
std::unique_ptr<Dialog> chooseDialog();

}  // namespace tovren
