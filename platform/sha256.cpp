#include "platform/sha256.h"

#include "support/text.h"

namespace tovren {

std::string sha256Text(std::span<const std::uint8_t> bytes) {
  Sha256 hash;
  hash.update(bytes);
  return hexadecimal(hash.finish());
}

}  // namespace tovren
