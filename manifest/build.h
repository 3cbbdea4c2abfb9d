#pragma once
// What a program is built with: the manifest compiled into it and its processor row.

#include <string_view>

namespace tovren {

struct Build {
  std::string_view manifest;          // Base64 of the manifest's JSON text
  std::string_view platformKey;       // this build's entry in the manifest, e.g. "darwin-amd64"
  std::string_view architectureWord;  // end of the installed console's name, e.g. "amd64"
};

// The manifest's marker (constants::manifestMarker), then the Base64 form of its
// JSON text, fixed when the program is built. A constant array: it exists before
// any code runs.
extern const char embeddedManifest[];

// This program's own build constants.
Build thisBuild();

}  // namespace tovren
