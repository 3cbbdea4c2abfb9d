#pragma once
// The setup manifest: which console version this program installs and, per
// processor family, the archive that carries it with the digests of both.

#include <array>
#include <map>
#include <string>
#include <string_view>

#include "support/bytes.h"

namespace tovren {

// One platform entry of the manifest.
struct SetupAsset {
  std::string archive;        // file name of the zip archive in the resource folder
  std::string sha256;         // digest of the archive's bytes
  std::string binary_sha256;  // digest of the console program's bytes

  // The member names, in field order.
  static constexpr std::array<std::string_view, 3> codingKeys{"archive", "sha256", "binary_sha256"};
  bool operator==(const SetupAsset&) const = default;
};

struct SetupManifest {
  std::string version;
  std::map<std::string, SetupAsset> platforms;  // keyed by platform key

  static constexpr std::array<std::string_view, 2> codingKeys{"version", "platforms"};
  bool operator==(const SetupManifest&) const = default;
};

// Decodes the manifest's JSON text. Member names match exactly, letter case
// included; other members are ignored; no value is validated. Raises a
// DecodingError naming the member path and the problem at the first member that
// breaks a rule.
SetupManifest decodeManifestJson(const Bytes& json);

// Decodes the Base64 form of the manifest's JSON text, strictly. Raises a
// DecodingError when the text is not Base64, or as decodeManifestJson does.
SetupManifest decodeManifest(std::string_view base64);

}  // namespace tovren
