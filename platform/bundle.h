#pragma once
// Where the running program lies, and the unpacker it starts.

#include <optional>
#include <string>

#include "support/location.h"

namespace tovren {

// The running program's own absolute path; none when the system cannot tell.
[[nodiscard]] std::optional<std::string> executablePath();

// The zip unpacker that the application whose resource folder is `resourceFolder`
// starts with "-x", "-k", an archive and a folder.
Location unpackerFor(const Location& resourceFolder);

}  // namespace tovren
