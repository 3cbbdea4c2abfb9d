#pragma once
// Text as the user reads it: UTF-8 checks, code points and visible characters.

#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>

namespace tovren {

// `text` without a leading UTF-8 byte-order mark.
std::string_view withoutByteOrderMark(std::string_view text);

// Whether `bytes` is well-formed UTF-8 (no overlong forms, no surrogates).
bool validUtf8(std::string_view bytes);

// The byte offset where the last `count` code points of the UTF-8 `text` begin.
std::size_t codePointStart(std::string_view text, std::size_t count);

// `text` with the code points `show` rewrites. `show` gets the text made so far,
// a code point's bytes and the code point, or -1 for a piece that is not UTF-8;
// it appends what stands for them and returns true, or returns false for bytes
// kept as they stand.
std::string rewritten(std::string_view text,
                      const std::function<bool(std::string&, std::string_view, int)>& show);

// `bytes` as UTF-8 text: each piece that is not UTF-8 becomes U+FFFD.
std::string asUtf8(std::string_view bytes);

// `text` made safe to show as it stands: control characters other than line
// feeds, tabs and carriage returns before a line feed become their visible
// pictures (a NUL becomes U+2400), and bytes that are not UTF-8 become U+FFFD.
std::string visible(std::string_view text);

// `bytes` as lower-case hexadecimal digits, two to a byte.
std::string hexadecimal(std::span<const std::uint8_t> bytes);

}  // namespace tovren
