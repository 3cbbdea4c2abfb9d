#pragma once

#include <memory>

#include "platform/dialogs/dialog.h"

namespace tovren {

// A desktop dialog when a display is named and can be opened; none otherwise. The
// desktop toolkit is loaded by this call, never before.
[[nodiscard]] std::unique_ptr<Dialog> openDesktopDialog();

}  // namespace tovren
