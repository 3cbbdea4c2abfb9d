#include "platform/file_manager.h"

#include "platform/error.h"
#include "platform/text.h"

namespace tovren {

std::string readText(FileManager& files, const Location& location, Links links) {
  FileContent bytes = files.read(location, links);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!validUtf8(text)) throw PlatformError("Could not read as text", location.path(), "It is not valid UTF-8");
  if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);
  return std::string(text);
}

}  // namespace tovren
