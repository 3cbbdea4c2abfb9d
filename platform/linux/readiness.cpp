// ppoll sets the mask and waits as one step, for a descriptor of any number.
#include "platform/posix/readiness.h"

#include <poll.h>

namespace tovren {

int waitReady(int descriptor, short events, const timespec* timeout, const sigset_t* mask) {
  pollfd item{descriptor, events, 0};
  return ::ppoll(&item, descriptor >= 0 ? 1 : 0, timeout, mask);
}

}  // namespace tovren
