// The running program's path, from the link the kernel keeps for it.
#include <unistd.h>

#include <climits>

#include "platform/portable/system.h"

namespace tovren {

std::optional<std::string> executablePath() {
  std::string path(PATH_MAX, '\0');
  ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
  if (n <= 0 || static_cast<std::size_t>(n) >= path.size() || path[0] != '/') return std::nullopt;
  path.resize(static_cast<std::size_t>(n));
  return path;
}

}  // namespace tovren
