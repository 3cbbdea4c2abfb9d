#include "checks/tool_files.h"

#include <filesystem>

#include "platform/file_manager.h"

namespace tovren {

namespace {

Location absolute(const std::string& path) { return Location(std::filesystem::absolute(path)); }

}  // namespace

FileContent contentOf(const std::string& path) {
  return FileManager().read(absolute(path), Links::follow);
}

void save(const std::string& path, std::string_view text) {
  FileManager().write(absolute(path),
                      {reinterpret_cast<const std::uint8_t*>(text.data()), text.size()});
}

}  // namespace tovren
