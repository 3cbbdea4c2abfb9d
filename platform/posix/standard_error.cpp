#include "platform/standard_error.h"

#include <unistd.h>

#include "platform/posix/descriptors.h"

namespace tovren {

void writeError(std::string_view text, std::optional<std::chrono::milliseconds> patience) {
  std::optional<std::chrono::steady_clock::time_point> deadline;
  if (patience) deadline = std::chrono::steady_clock::now() + *patience;
  // What a closed standard error or a reader that went away does not take is lost.
  (void)writeWhenReady(STDERR_FILENO, text, deadline);
}

}  // namespace tovren
