// The running program's path, from the loader. The path it gives may pass through
// links, so it is resolved: the bundle is found from the real folder. The unpacker
// is the system's own; the bundle carries none.
#include "platform/bundle.h"

#include <mach-o/dyld.h>

#include <climits>
#include <cstdint>
#include <cstdlib>

namespace tovren {

std::optional<std::string> executablePath() {
  std::string path(PATH_MAX, '\0');
  auto size = static_cast<std::uint32_t>(path.size());
  if (::_NSGetExecutablePath(path.data(), &size) != 0) {
    path.assign(size, '\0');
    if (::_NSGetExecutablePath(path.data(), &size) != 0) return std::nullopt;
  }
  char resolved[PATH_MAX];
  if (!::realpath(path.c_str(), resolved) || resolved[0] != '/') return std::nullopt;
  return std::string(resolved);
}

Location unpackerFor(const Location&) { return Location("/usr/bin/ditto"); }

}  // namespace tovren
