#include "install/safe.h"

#include "install/setup_failure.h"
#include "platform/error.h"

namespace tovren {

namespace {

// A missing item, or one that cannot be examined, is no link.
bool isLink(FileManager& files, const Location& location) {
  try {
    return files.attributes(location).type == ItemType::link;
  } catch (const PlatformError&) {
    return false;
  }
}

}  // namespace

void safe(FileManager& files, const Location& destination) {
  for (Location current = destination.standardized();; current = current.parent()) {
    if (isLink(files, current))
      throw SetupFailure("Setup stopped because a destination folder is a symbolic link: " + current.path());
    if (current.path() == "/") return;
  }
}

}  // namespace tovren
