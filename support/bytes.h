#pragma once

#include <cstdint>
#include <vector>

namespace tovren {

// A buffer of bytes.
using Bytes = std::vector<std::uint8_t>;

}  // namespace tovren
