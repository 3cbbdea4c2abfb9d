// SHA-256 by CommonCrypto, the system's own: macOS ships no OpenSSL to link.
#include "platform/sha256.h"

#include <CommonCrypto/CommonDigest.h>

#include <algorithm>

namespace tovren {

struct Sha256::State {
  CC_SHA256_CTX context;
};

Sha256::Sha256() : state_(std::make_unique<State>()) { CC_SHA256_Init(&state_->context); }

Sha256::~Sha256() = default;

void Sha256::update(std::span<const std::uint8_t> bytes) {
  // CommonCrypto takes 32-bit lengths: larger buffers go in pieces.
  constexpr std::size_t piece = std::size_t{1} << 30;
  for (std::size_t done = 0; done < bytes.size(); done += piece) {
    std::size_t size = std::min(piece, bytes.size() - done);
    CC_SHA256_Update(&state_->context, bytes.data() + done, static_cast<CC_LONG>(size));
  }
}

std::array<std::uint8_t, 32> Sha256::finish() {
  std::array<std::uint8_t, 32> value{};
  CC_SHA256_Final(value.data(), &state_->context);
  return value;
}

}  // namespace tovren
