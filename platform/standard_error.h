#pragma once
// Standard error, whose reader may hold back what the program writes, defined in
// platform/posix/standard_error.cpp.

#include <chrono>
#include <optional>
#include <string_view>

namespace tovren {

// Writes `text` to standard error. While its reader holds it back (a terminal
// whose output is held by Ctrl-S, a full pipe nobody empties), a request to stop
// ends the wait with Interrupted; with `patience`, for a run that is ending, it
// is waited for that long at most, and what it did not take is lost.
void writeError(std::string_view text,
                std::optional<std::chrono::milliseconds> patience = std::nullopt);

}  // namespace tovren
