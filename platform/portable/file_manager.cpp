#include "platform/portable/file_manager.h"

#include "platform/portable/error.h"
#include "platform/portable/text.h"

namespace tovren {

std::string readText(FileManager& files, const Location& location, Links links) {
  FileContent bytes = files.read(location, links);
  std::string_view text(reinterpret_cast<const char*>(bytes.data()), bytes.size());
  if (!validUtf8(text))
    throw DecodingError("Could not read as text \"" + location.path() +
                        "\": It is not valid UTF-8.");
  return std::string(withoutByteOrderMark(text));
}

}  // namespace tovren
