#pragma once
// Writing through a descriptor.

#include <string_view>

namespace tovren {

// Writes all of `bytes` to `descriptor`, again where a signal cut a write short.
// Returns 0, or the error number of the write that failed.
int writeAll(int descriptor, std::string_view bytes);

}  // namespace tovren
