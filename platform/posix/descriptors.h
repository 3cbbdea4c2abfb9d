#pragma once
// Writing through a descriptor.

#include <chrono>
#include <optional>
#include <string_view>

namespace tovren {

// Writes all of `bytes` to `descriptor`, again where a write took only part.
// Returns 0, or the error number of the write that failed.
[[nodiscard]] int writeAll(int descriptor, std::string_view bytes);

// Writes `bytes` to a descriptor whose reader may hold them back (a terminal
// whose output is held by Ctrl-S, a full pipe), waiting only while the stop
// signals can end the wait: a request to stop raises Interrupted, and with a
// `deadline` (for a run that is ending) what was not taken by then is given up
// instead. A descriptor of either kind, blocking or not, will do: what is written
// at once is at most what a pipe takes whole. Returns whether all of it was
// written; a reader that went away takes nothing.
[[nodiscard]] bool writeWhenReady(int descriptor, std::string_view bytes,
                                  std::optional<std::chrono::steady_clock::time_point> deadline);

}  // namespace tovren
