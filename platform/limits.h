#pragma once
// What a write past the limits of this program's session does.

#include <cstdint>
#include <optional>

namespace tovren {

// From now on a write past the file-size limit fails with the system's "file too
// large", and one to a pipe that nobody reads any more with "broken pipe",
// instead of ending the program by a signal. Raises a PlatformError with the
// system's reason when the system refuses.
void keepWritesFromSignalling();

// The size past which the system refuses to make a file of this program's
// larger, where a limit is set (ulimit -f); none where there is none.
[[nodiscard]] std::optional<std::uint64_t> fileSizeLimit();

}  // namespace tovren
