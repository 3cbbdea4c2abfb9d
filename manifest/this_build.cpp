// The processor row, named by the build for each program with TOVREN_ROW, e.g.
// "arm64"; its platform key and architecture word come from the constants.
#include "manifest/build.h"
#include "tovren/constants.h"

#ifndef TOVREN_ROW
#error "TOVREN_ROW must name the processor row"
#endif

namespace tovren {

// Only the marker's length is compiled in, so its text stands once in the program,
// before the manifest.
constexpr std::size_t markerLength = constants::manifestMarker.size();

Build thisBuild() {
  constexpr const constants::Row& row = constants::row(TOVREN_ROW);
  return Build{embeddedManifest + markerLength, row.platformKey, row.architectureWord};
}

}  // namespace tovren
