// macOS has no ppoll; its pselect sets the mask and waits as one step in the
// kernel, and with _DARWIN_UNLIMITED_SELECT takes sets of any size, so a
// descriptor past FD_SETSIZE is waited for like any other.
#define _DARWIN_UNLIMITED_SELECT 1
#include "platform/posix/readiness.h"

#include <poll.h>
#include <sys/select.h>

#include <vector>

namespace tovren {

int waitReady(int descriptor, short events, const timespec* timeout, const sigset_t* mask) {
  // Sets one after another make a set as large as the descriptor needs: an
  // fd_set is an array of bits.
  std::vector<fd_set> sets(descriptor < 0 ? 1
                                          : static_cast<std::size_t>(descriptor) / FD_SETSIZE + 1);
  fd_set* set = sets.data();
  if (descriptor >= 0) FD_SET(descriptor, set);
  return ::pselect(descriptor + 1, descriptor >= 0 && (events & POLLIN) ? set : nullptr,
                   descriptor >= 0 && (events & POLLOUT) ? set : nullptr, nullptr, timeout, mask);
}

}  // namespace tovren
