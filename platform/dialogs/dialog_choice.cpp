#include "platform/dialogs/dialog_choice.h"

#include "platform/dialogs/desktop_dialog.h"
#include "platform/dialogs/terminal_dialog.h"
#include "platform/standard_error.h"

namespace tovren {

namespace {

// Where nobody can be asked: the texts go to standard error.
class SilentDialog : public Dialog {
 public:
  void bringToFront() override {}
  int run(const Alert& alert) override {
    writeError(alert.messageText + "\n\n" + alert.informativeText + "\n");
    return noButton;
  }
};

}  // namespace

std::unique_ptr<Dialog> chooseDialog(bool desktop) {
  if (auto dialog = desktop ? openDesktopDialog() : nullptr) return dialog;
  if (auto terminal = openTerminalDialog()) return terminal;
  return std::make_unique<SilentDialog>();
}

}  // namespace tovren
