#pragma once

#include <span>
#include <string>

#include "platform/portable/bytes.h"

namespace tovren {

// The SHA-256 of `bytes` as 64 lower-case hexadecimal characters, the form in
// which the manifest carries its digests. Raises the PlatformError of sha256()
// when the library cannot hash (out of memory, or a configuration without SHA-256).
std::string digest(std::span<const std::uint8_t> bytes);

}  // namespace tovren
