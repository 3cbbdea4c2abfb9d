// The running program's path, from the link the kernel keeps for it. There is no
// system unpacker here: the bundle carries its own beside the setup program.
#include "platform/bundle.h"

#include <unistd.h>

#include <climits>

#include "platform/application.h"
#include "tovren/constants.h"

namespace tovren {

std::optional<std::string> executablePath() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size() || path[0] != '/') return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  return path;
}

Location unpackerFor(const Location& resourceFolder) {
  const std::string name(constants::unpacker);
  return inBundle(resourceFolder, "Resources") ? resourceFolder.parent().append("MacOS/" + name)
                                               : resourceFolder.append(name);
}

}  // namespace tovren
