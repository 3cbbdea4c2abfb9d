#include "install/readable.h"

#include "support/text.h"

namespace tovren {

std::string readText(FileManager& files, const Location& location, Links links, std::size_t most) {
  std::string bytes;
  files.readPieces(location, links, [&](std::span<const std::uint8_t> piece) {
    if (piece.size() > most - bytes.size())
      throw PlatformError("Could not read as text", location.path(),
                          "It holds more than " + std::to_string(most) + " bytes");
    bytes.append(reinterpret_cast<const char*>(piece.data()), piece.size());
  });
  if (!validUtf8(bytes))
    throw DecodingError("Could not read as text \"" + location.path() +
                        "\": It is not valid UTF-8.");
  return std::string(withoutByteOrderMark(bytes));
}

}  // namespace tovren
