// The processor row, compiled into each program with TOVREN_ARCHITECTURE set to
// "arm64" or "amd64".
#include "manifest/build.h"

#ifndef TOVREN_ARCHITECTURE
#error "TOVREN_ARCHITECTURE must name the processor row"
#endif

namespace tovren {

Build thisBuild() { return Build{embeddedManifest, "darwin-" TOVREN_ARCHITECTURE, TOVREN_ARCHITECTURE}; }

}  // namespace tovren
