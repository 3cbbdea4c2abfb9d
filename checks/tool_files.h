#pragma once
// Whole files read and written as the setup program reads and writes them, for
// the vendor's checks, the build's own programs and the tests.

#include <string>

#include "platform/buffers.h"
#include "support/bytes.h"

namespace tovren {

// The whole content of the file at `path` (relative to the current folder, or
// absolute); raises a PlatformError naming it and the reason.
FileContent contentOf(const std::string& path);

// Writes the file whole and atomically, as the setup program writes; raises
// naming it and the reason.
void save(const std::string& path, std::string_view text);

}  // namespace tovren
