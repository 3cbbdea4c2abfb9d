#include "install/digest.h"

#include "platform/portable/sha256.h"

namespace tovren {

namespace {

std::string hexadecimal(Sha256& hash) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string text;
  text.reserve(64);
  for (std::uint8_t byte : hash.finish()) {
    text += hex[byte >> 4];
    text += hex[byte & 0xF];
  }
  return text;
}

}  // namespace

std::string digest(std::span<const std::uint8_t> bytes) {
  Sha256 hash;
  hash.update(bytes);
  return hexadecimal(hash);
}

std::string digest(FileManager& files, const Location& file, Links links) {
  Sha256 hash;
  files.readPieces(file, links, [&](std::span<const std::uint8_t> piece) { hash.update(piece); });
  return hexadecimal(hash);
}

}  // namespace tovren
