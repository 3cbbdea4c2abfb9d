#include "platform/clusters.h"

#include "support/text.h"

namespace tovren {

std::string lastCharacters(std::string_view text, std::size_t count) {
  // Without the library, whole code points still keep the text readable; only a
  // letter with combining marks at the cut may lose its base.
  std::optional<std::size_t> cluster = clusterStart(text, count);
  return std::string(text.substr(cluster ? *cluster : codePointStart(text, count)));
}

}  // namespace tovren
