#include "install/safe.h"

#include "install/setup_failure.h"

namespace tovren {

void safe(FileManager& files, const Location& destination) {
  for (Location current = destination.standardized();; current = current.parent()) {
    // A missing item, or one that cannot be examined, is no link.
    std::optional<Attributes> item = files.attributes(current, Links::refuse);
    if (item && item->type == ItemType::link)
      throw SetupFailure("Setup stopped because a destination folder is a symbolic link: " +
                         current.path());
    if (current.path() == "/") return;
  }
}

}  // namespace tovren
