#include "platform/application.h"

#include <unistd.h>

#include <climits>

#include "platform/dialog.h"

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

// The way to show alerts is picked once, when the program starts.
class SystemApplication : public Application {
 public:
  SystemApplication() : dialog_(chooseDialog()) {}
  // Without a desktop there is no Dock or menu bar to stay out of.
  bool setAccessoryPolicy() override { return true; }
  void activate() override { dialog_->bringToFront(); }
  int runModal(const Alert& alert) override { return dialog_->run(alert); }
  std::optional<Location> resourceFolder() override {
    auto path = executablePath();
    if (!path) return std::nullopt;
    return resourcesOf(Location(*path));
  }

 private:
  std::unique_ptr<Dialog> dialog_;
};

}  // namespace

Application& sharedApplication() {
  static SystemApplication application;
  return application;
}

}  // namespace tovren
