#pragma once

#include <span>
#include <string>

#include "platform/bytes.h"

namespace tovren {

// The SHA-256 of `bytes` as 64 lower-case hexadecimal characters, the form in
// which the manifest carries its digests. No failure path.
std::string digest(std::span<const std::uint8_t> bytes);

}  // namespace tovren
