// The processor row, compiled into each program with TOVREN_PLATFORM_KEY and
// TOVREN_ARCHITECTURE set by the build, e.g. "darwin-arm64" and "arm64".
#include "manifest/build.h"

#if !defined(TOVREN_PLATFORM_KEY) || !defined(TOVREN_ARCHITECTURE)
#error "TOVREN_PLATFORM_KEY and TOVREN_ARCHITECTURE must name the processor row"
#endif

namespace tovren {

Build thisBuild() { return Build{embeddedManifest, TOVREN_PLATFORM_KEY, TOVREN_ARCHITECTURE}; }

}  // namespace tovren
