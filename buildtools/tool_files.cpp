#include "buildtools/tool_files.h"

#include <algorithm>
#include <filesystem>

#include "platform/file_manager.h"

namespace tovren {

namespace {

constexpr std::string_view alphabet =
    "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

Location absolute(const std::string& path) { return Location(std::filesystem::absolute(path)); }

}  // namespace

FileContent contentOf(const std::string& path) {
  return FileManager().read(absolute(path), Links::follow);
}

void save(const std::string& path, std::string_view text) {
  FileManager().write(absolute(path),
                      {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
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
