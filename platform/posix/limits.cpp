// What a write past this program's limits does: it fails, and the program goes on.
#include "platform/limits.h"

#include <signal.h>
#include <sys/resource.h>

#include <cerrno>

#include "platform/posix/signals.h"
#include "support/error.h"

namespace tovren {

// Children still start with both at their default action.
void keepWritesFromSignalling() {
  struct sigaction ignore {};
  ignore.sa_handler = SIG_IGN;
  for (int signal : {SIGPIPE, SIGXFSZ})
    if (sigemptyset(&ignore.sa_mask) != 0 || ::sigaction(signal, &ignore, nullptr) != 0) {
      int code = errno;  // before the description, which may allocate
      throwSystemError(("Could not ignore " + described(signal)).c_str(), "", code);
    }
}

std::optional<std::uint64_t> fileSizeLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return std::nullopt;
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

}  // namespace tovren
