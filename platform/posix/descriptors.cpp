#include "platform/posix/descriptors.h"

#include <unistd.h>

#include <cerrno>

namespace tovren {

int writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(descriptor, bytes.data(), bytes.size());
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    if (n == 0) return EIO;  // no progress, and no reason given
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

}  // namespace tovren
