// User-perceived characters by the system's own ICU. It has no public headers and
// no version in its function names (ubrk_open), and is loaded by its path in the
// system. CoreFoundation's composed-character ranges are not promised to be
// extended grapheme clusters, so they are not used.
#include "platform/clusters.h"

#include "platform/icu/boundaries.h"

namespace tovren {

std::optional<std::size_t> clusterStart(std::string_view text, std::size_t count) {
  static const IcuBoundaries icu("/usr/lib/libicucore.A.dylib", "");
  return icu.clusterStart(text, count);
}

}  // namespace tovren
