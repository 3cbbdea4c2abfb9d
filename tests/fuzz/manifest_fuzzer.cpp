// Manifest decoding on arbitrary input: as the embedded Base64 text, and as the
// JSON bytes behind it. Only a DecodingError may leave the decoder.
#include <cstdint>
#include <cstdlib>
#include <string_view>

#include "manifest/setup_manifest.h"
#include "support/base64.h"
#include "support/json.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace tovren;
  std::string_view text(reinterpret_cast<const char*>(data), size);
  try {
    decodeManifest(text);
  } catch (const DecodingError&) {
  }
  try {
    decodeManifestJson(Bytes(data, data + size));
  } catch (const DecodingError&) {
  }
  // Strict Base64 has one spelling per byte string: what decodes, encodes back.
  if (auto bytes = decodeBase64(text); bytes && encodeBase64(*bytes) != text) std::abort();
  return 0;
}
