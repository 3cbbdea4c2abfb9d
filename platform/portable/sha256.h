#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace tovren {

// The SHA-256 (FIPS 180-4) value of `bytes`, hashed in one pass. Raises a
// PlatformError with the library's reason when it cannot hash.
std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes);

}  // namespace tovren
