#pragma once
// A vendor's console archive, checked as the setup program and its users need it:
// the unpacker takes it, it holds the console and nothing else, and the console
// runs on the processor family of its archive.

#include <string>
#include <string_view>

#include "platform/buffers.h"
#include "support/bytes.h"

namespace tovren {

// The bytes of the console, the archive's top-level file "tovren". Every entry
// passes the unpacker's checks first. Raises a std::runtime_error of one line that
// begins with `shown`, the archive's path as its maker knows it, and says what
// was found and what to do: for a damaged archive, one without a top-level
// console (naming what its top level holds, and a near miss), and one that holds
// more than the console, which users would never get. Finder's "__MACOSX/" folder
// is ignored.
Bytes consoleIn(const FileContent& zip, const std::string& shown);

// Raises a std::runtime_error as consoleIn does unless `console` runs on `system`
// ("linux" or "macos") with the processor of `row`: a script runs anywhere.
void requireRunsOn(const Bytes& console, const std::string& shown, std::string_view system,
                   std::string_view row);

}  // namespace tovren
