// What a write past this program's limits does: it fails, and the program goes on.
#include "platform/limits.h"

#include <signal.h>
#include <sys/resource.h>

namespace tovren {

// Children still start with every signal's default action.
void keepWritesFromSignalling() {
  ::signal(SIGPIPE, SIG_IGN);
  ::signal(SIGXFSZ, SIG_IGN);
}

std::optional<std::uint64_t> fileSizeLimit() {
  rlimit limit{};
  if (::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY)
    return std::nullopt;
  return static_cast<std::uint64_t>(limit.rlim_cur);
}

}  // namespace tovren
