#include "platform/application.h"

#include <unistd.h>

#include <climits>

#include "platform/dialog.h"
#include "platform/text.h"

namespace tovren {

namespace {

std::optional<std::string> executablePath() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size() || path[0] != '/') return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  return path;
}

// Whether `folder`, named `name`, lies directly in the Contents folder of an
// X.app bundle.
bool inBundle(const Location& folder, const char* name) {
  Location contents = folder.parent();
  return folder.name() == name && contents.name() == "Contents" && contents.parent().name().ends_with(".app");
}

// An executable in X.app/Contents/MacOS has X.app/Contents/Resources; any other
// executable has its own folder.
Location resourcesOf(const Location& executable) {
  Location folder = executable.parent();
  return inBundle(folder, "MacOS") ? folder.parent().append("Resources") : folder;
}

}  // namespace

Location unpackerFor(const Location& resourceFolder) {
  return inBundle(resourceFolder, "Resources") ? resourceFolder.parent().append("MacOS/ditto")
                                               : resourceFolder.append("ditto");
}

namespace {

// The way to show alerts is picked when the first one is shown: a run that asks
// nothing never loads the desktop toolkit.
class SystemApplication : public Application {
 public:
  // Without a desktop there is no Dock or menu bar to stay out of.
  bool setAccessoryPolicy() override { return true; }
  void activate() override { dialog().bringToFront(); }
  // A log's control characters could cut a text short or steer a terminal;
  // every way of showing an alert gets the texts with them made visible.
  int runModal(const Alert& alert) override {
    Alert shown{visible(alert.messageText), visible(alert.informativeText), {}};
    for (const auto& button : alert.buttons) shown.buttons.push_back(visible(button));
    return dialog().run(shown);
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
