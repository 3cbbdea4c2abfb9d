#pragma once
// Text as the user reads it: UTF-8 checks and user-perceived characters.

#include <cstddef>
#include <string>
#include <string_view>

namespace tovren {

// `text` without a leading UTF-8 byte-order mark.
std::string_view withoutByteOrderMark(std::string_view text);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates).
bool validUtf8(std::string_view bytes);

// The last `count` user-perceived characters (extended grapheme clusters) of the
// UTF-8 `text`; the whole text when it has no more than `count`. Where ICU cannot
// be loaded, or the text is longer than its offsets reach (2 GiB), the last
// `count` code points.
std::string lastCharacters(std::string_view text, std::size_t count);

// `text` made safe to show as it stands: control characters other than line
// feeds, tabs and carriage returns before a line feed become their visible
// pictures (a NUL becomes U+2400), and bytes that are not UTF-8 become U+FFFD.
std::string visible(std::string_view text);

}  // namespace tovren
