#include "manifest/version_marker.h"

#include <algorithm>

#include "tovren/constants.h"

namespace tovren {

namespace {

bool versionCharacter(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
         constants::versionPunctuation.find(c) != std::string_view::npos;
}

}  // namespace

std::string versionMarker(std::string_view version, std::string_view architectureWord) {
  return std::string(constants::versionMarker) + std::string(version) + "-" +
         std::string(architectureWord);
}

bool namesVersion(std::string_view text, std::string_view version) {
  std::string marker = versionMarker(version, "");
  for (auto at = text.find(marker); at != std::string_view::npos; at = text.find(marker, at + 1)) {
    // The word ends at the first "-" or character no version holds, so each
    // occurrence's look ends before the next one's marker.
    std::string_view rest = text.substr(at + marker.size());
    auto end = std::find_if(rest.begin(), rest.end(),
                            [](char c) { return c == '-' || !versionCharacter(c); });
    if (end == rest.end() || *end != '-') return true;
  }
  return false;
}

}  // namespace tovren
