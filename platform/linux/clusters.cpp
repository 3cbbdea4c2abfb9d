// User-perceived characters by the ICU the program was built with, loaded by the
// name of its version, whose number also ends each of its function names
// (ubrk_open_72).
#include "platform/clusters.h"

#include <unicode/uvernum.h>

#include "platform/icu/boundaries.h"

namespace tovren {

#define TOVREN_STRING(x) #x
#define TOVREN_EXPANDED(x) TOVREN_STRING(x)

std::optional<std::size_t> clusterStart(std::string_view text, std::size_t count) {
  static const IcuBoundaries icu("libicuuc.so." TOVREN_EXPANDED(U_ICU_VERSION_MAJOR_NUM),
                                 "_" TOVREN_EXPANDED(U_ICU_VERSION_MAJOR_NUM));
  return icu.clusterStart(text, count);
}

}  // namespace tovren
