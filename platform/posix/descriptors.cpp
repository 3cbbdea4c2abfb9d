#include "platform/posix/descriptors.h"

#include <limits.h>
#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/interruption.h"
#include "platform/posix/signals.h"

namespace tovren {

int writeAll(int descriptor, std::string_view bytes) {
  while (!bytes.empty()) {
    ssize_t n = ::write(descriptor, bytes.data(), bytes.size());
    if (n < 0) return errno;
    if (n == 0) return EIO;  // no progress, and no reason given
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return 0;
}

bool writeWhenReady(int descriptor, std::string_view bytes,
                    std::optional<std::chrono::steady_clock::time_point> deadline) {
  using std::chrono::milliseconds;
  while (!bytes.empty()) {
    std::optional<milliseconds> left;
    if (deadline) {
      left = std::chrono::ceil<milliseconds>(*deadline - std::chrono::steady_clock::now());
      if (left->count() <= 0) return false;
    }
    if (!waitForSignal(descriptor, POLLOUT, left, "Could not write")) {
      if (!deadline) raiseIfInterrupted();
      continue;
    }
    // Once ready, a blocking descriptor takes this much without waiting again.
    ssize_t n = ::write(descriptor, bytes.data(), std::min<std::size_t>(bytes.size(), PIPE_BUF));
    if (n < 0 && errno == EAGAIN) continue;
    if (n <= 0) return false;
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace tovren
