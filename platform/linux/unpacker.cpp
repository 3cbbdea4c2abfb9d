// There is no system unpacker here: the bundle carries its own beside the setup
// program.
#include "platform/portable/application.h"
#include "platform/portable/system.h"
#include "tovren/constants.h"

namespace tovren {

Location unpackerFor(const Location& resourceFolder) {
  const std::string name(constants::unpacker);
  return inBundle(resourceFolder, "Resources") ? resourceFolder.parent().append("MacOS/" + name)
                                               : resourceFolder.append(name);
}

}  // namespace tovren
