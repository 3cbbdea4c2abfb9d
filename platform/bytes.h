#pragma once

#include <cstdint>
#include <vector>

namespace tovren {

// A whole file's content, or any other buffer of bytes.
using Bytes = std::vector<std::uint8_t>;

}  // namespace tovren
