#pragma once
// User-perceived characters (extended grapheme clusters), by the system's Unicode
// library, which the program loads itself when a failure message needs it.
// clusterStart is defined in the system's folder, lastCharacters in clusters.cpp
// beside this header.

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace tovren {

// The byte offset where the last `count` user-perceived characters of the UTF-8
// `text` begin; none when the library cannot be had or cannot take a text this
// long.
[[nodiscard]] std::optional<std::size_t> clusterStart(std::string_view text, std::size_t count);

// The last `count` user-perceived characters of the UTF-8 `text`; the whole text
// when it has no more than `count`. Where the library cannot be loaded, or the
// text is longer than its offsets reach (2 GiB), the last `count` code points.
std::string lastCharacters(std::string_view text, std::size_t count);

}  // namespace tovren
