#pragma once
// Text as the user reads it: UTF-8 checks and user-perceived characters.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovren {

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates).
bool validUtf8(std::string_view bytes);

// The last `count` user-perceived characters (extended grapheme clusters) of the
// valid UTF-8 `text`; the whole text when it has no more than `count`.
std::string lastCharacters(std::string_view text, std::size_t count);

}  // namespace tovren
