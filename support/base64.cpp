#include "support/base64.h"

#include <algorithm>
#include <array>

namespace tovren {

namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

constexpr std::array<int, 256> sextets() {
  std::array<int, 256> table{};
  table.fill(-1);
  for (std::size_t i = 0; i < alphabet.size(); ++i)
    table[static_cast<unsigned char>(alphabet[i])] = static_cast<int>(i);
  return table;
}

constexpr auto sextetOf = sextets();

}  // namespace

std::size_t base64Length(std::string_view text) {
  std::size_t size = 0;
  while (size < text.size() && sextetOf[static_cast<unsigned char>(text[size])] >= 0) ++size;
  while (size < text.size() && text[size] == '=') ++size;
  return size;
}

std::optional<Bytes> decodeBase64(std::string_view text) {
  if (text.size() % 4 != 0) return std::nullopt;
  std::size_t pads = 0;
  while (pads < 2 && pads < text.size() && text[text.size() - 1 - pads] == '=') ++pads;
  Bytes bytes;
  bytes.reserve(text.size() / 4 * 3);
  std::uint32_t group = 0;
  for (std::size_t i = 0; i < text.size() - pads; ++i) {
    int sextet = sextetOf[static_cast<unsigned char>(text[i])];
    if (sextet < 0) return std::nullopt;
    group = group << 6 | static_cast<std::uint32_t>(sextet);
    if (i % 4 == 3) {
      bytes.push_back(static_cast<std::uint8_t>(group >> 16));
      bytes.push_back(static_cast<std::uint8_t>(group >> 8));
      bytes.push_back(static_cast<std::uint8_t>(group));
    }
  }
  if (pads == 2) {
    if (group & 0xF) return std::nullopt;  // bits past the last byte must be zero
    bytes.push_back(static_cast<std::uint8_t>(group >> 4));
  } else if (pads == 1) {
    if (group & 0x3) return std::nullopt;
    bytes.push_back(static_cast<std::uint8_t>(group >> 10));
    bytes.push_back(static_cast<std::uint8_t>(group >> 2));
  }
  return bytes;
}

std::string encodeBase64(const Bytes& bytes) {
  std::string text;
  text.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    std::size_t n = std::min<std::size_t>(3, bytes.size() - i);
    std::uint32_t group = static_cast<std::uint32_t>(bytes[i]) << 16;
    if (n > 1) group |= static_cast<std::uint32_t>(bytes[i + 1]) << 8;
    if (n > 2) group |= bytes[i + 2];
    for (std::size_t k = 0; k < 4; ++k)
      text += k <= n ? alphabet[(group >> (18 - 6 * k)) & 0x3F] : '=';
  }
  return text;
}

}  // namespace tovren
