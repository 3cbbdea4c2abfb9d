// SHA-256 by CommonCrypto, the system's own: macOS ships no OpenSSL to link.
#include "platform/portable/sha256.h"

#include <CommonCrypto/CommonDigest.h>

#include <algorithm>

namespace tovren {

std::array<std::uint8_t, 32> sha256(std::span<const std::uint8_t> bytes) {
  // CommonCrypto takes 32-bit lengths: larger buffers go in pieces.
  constexpr std::size_t piece = std::size_t{1} << 30;
  CC_SHA256_CTX context;
  CC_SHA256_Init(&context);
  for (std::size_t done = 0; done < bytes.size(); done += piece) {
    std::size_t size = std::min(piece, bytes.size() - done);
    CC_SHA256_Update(&context, bytes.data() + done, static_cast<CC_LONG>(size));
  }
  std::array<std::uint8_t, 32> value{};
  CC_SHA256_Final(value.data(), &context);
  return value;
}

}  // namespace tovren
