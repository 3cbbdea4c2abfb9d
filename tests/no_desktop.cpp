// The tests' variant of the Mac's desktop dialog, which a build chooses with
// TOVREN_TESTS_ON_TERMINAL: no window, so every alert of the program under test is
// answered on its terminal, as the end-to-end rows answer, even on a Mac whose
// desktop session would otherwise show a window nobody clicks. A shipped program
// is never built with it.
#include "platform/dialogs/desktop_dialog.h"

namespace tovren {

std::unique_ptr<Dialog> openDesktopDialog() { return nullptr; }

}  // namespace tovren
