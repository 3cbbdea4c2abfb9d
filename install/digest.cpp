#include "install/digest.h"

#include "platform/interruption.h"
#include "platform/sha256.h"
#include "support/text.h"

namespace tovren {

std::string digest(std::span<const std::uint8_t> bytes) { return sha256Text(bytes); }

std::string digest(FileManager& files, const Location& file, Links links) {
  Sha256 hash;
  // A large file takes a while: a request to stop is looked at between pieces.
  files.readPieces(file, links, [&](std::span<const std::uint8_t> piece) {
    raiseIfInterrupted();
    hash.update(piece);
  });
  return hexadecimal(hash.finish());
}

}  // namespace tovren
