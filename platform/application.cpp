#include "platform/application.h"

#include "platform/bundle.h"
#include "platform/dialogs/dialog_choice.h"
#include "support/text.h"

namespace tovren {

bool inBundle(const Location& folder, std::string_view name) {
  Location contents = folder.parent();
  return folder.name() == name && contents.name() == "Contents" &&
         contents.parent().name().ends_with(".app");
}

namespace {

// An executable in X.app/Contents/MacOS has X.app/Contents/Resources; any other
// executable has its own folder.
Location resourcesOf(const Location& executable) {
  Location folder = executable.parent();
  return inBundle(folder, "MacOS") ? folder.parent().append("Resources") : folder;
}

// The way to show alerts is picked when the first one is shown: a run that asks
// nothing never loads the desktop toolkit.
class SystemApplication : public Application {
 public:
  void activate() override { dialog().bringToFront(); }
  // A log's control characters could cut a text short or steer a terminal;
  // every way of showing an alert gets the texts with them made visible.
  int runModal(const Alert& alert) override {
    std::vector<std::string> buttons;
    for (const auto& button : alert.buttons) buttons.push_back(visible(button));
    Alert shown(visible(alert.messageText), visible(alert.informativeText), buttons);
    int response = dialog().run(shown);
    if (response != notShown) return response;
    // The desktop would not show it; the terminal, or standard error, does.
    dialog_ = chooseDialog(false);
    return dialog_->run(shown);
  }
  std::optional<Location> resourceFolder() override {
    auto path = executablePath();
    if (!path) return std::nullopt;
    return resourcesOf(Location(*path));
  }

 private:
  Dialog& dialog() {
    if (!dialog_) dialog_ = chooseDialog();
    return *dialog_;
  }

  std::unique_ptr<Dialog> dialog_;
};

}  // namespace

Application& sharedApplication() {
  static SystemApplication application;
  return application;
}

}  // namespace tovren
