#pragma once

#include <memory>

#include "platform/dialogs/dialog.h"

namespace tovren {

// The dialog on the controlling terminal: the texts, numbered buttons and a typed
// answer, where Return chooses the first button; none when there is no terminal.
[[nodiscard]] std::unique_ptr<Dialog> openTerminalDialog();

}  // namespace tovren
