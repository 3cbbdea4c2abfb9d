#include "install/digest.h"

#include "platform/portable/sha256.h"

namespace tovren {

std::string digest(std::span<const std::uint8_t> bytes) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string text;
  text.reserve(64);
  for (std::uint8_t byte : sha256(bytes)) {
    text += hex[byte >> 4];
    text += hex[byte & 0xF];
  }
  return text;
}

}  // namespace tovren
