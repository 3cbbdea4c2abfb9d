#pragma once

#include <string>

namespace tovren {

// A new random (version 4) UUID as 36 characters of upper-case hexadecimal
// digits in groups of 8, 4, 4, 4 and 12, joined by hyphens.
std::string newUuid();

}  // namespace tovren
