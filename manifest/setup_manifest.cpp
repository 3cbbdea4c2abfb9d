#include "manifest/setup_manifest.h"

#include "support/base64.h"
#include "support/json.h"

namespace tovren {

namespace {

std::string text(const JsonValue& object, std::string_view key) {
  return object.member(std::string(key)).string();
}

SetupAsset decodeAsset(const JsonValue& object) {
  const auto& keys = SetupAsset::codingKeys;
  // Read in field order, so the first broken member is the one reported.
  std::string archive = text(object, keys[0]);
  std::string sha256 = text(object, keys[1]);
  std::string binarySha256 = text(object, keys[2]);
  return SetupAsset{archive, sha256, binarySha256};
}

}  // namespace

SetupManifest decodeManifestJson(const Bytes& json) {
  const auto& keys = SetupManifest::codingKeys;
  JsonValue root = JsonValue::parse(json, "The setup manifest");
  std::string version = text(root, keys[0]);
  JsonValue platforms = root.member(std::string(keys[1]));
  SetupManifest manifest{version, {}};
  for (const auto& [key, asset] : platforms.members()) manifest.platforms[key] = decodeAsset(asset);
  return manifest;
}

SetupManifest decodeManifest(std::string_view base64) {
  auto json = decodeBase64(base64);
  if (!json)
    throw DecodingError(
        "The setup manifest built into this program is damaged: it is not valid Base64.");
  return decodeManifestJson(*json);
}

}  // namespace tovren
