#pragma once
// How the console names the version it set up: in its launch agent's property
// list, "automatic-", the version, "-" and its architecture word.

#include <string>
#include <string_view>

namespace tovren {

// The marker of `version` as the console writes it, e.g. "automatic-1.4.2-arm64".
std::string versionMarker(std::string_view version, std::string_view architectureWord);

// Whether the list's `text` names exactly `version`: it holds "automatic-<version>-"
// followed by an architecture word (letters, digits, ".", "_" or "+", up to the
// first character no version holds) and no further "-". The trailing "-" keeps a
// longer version that begins with this one apart (1.4.20), and the word a
// pre-release of the version (automatic-1.4.2-rc1-arm64 names 1.4.2-rc1, not
// 1.4.2). Linear in the text.
bool namesVersion(std::string_view text, std::string_view version);

}  // namespace tovren
