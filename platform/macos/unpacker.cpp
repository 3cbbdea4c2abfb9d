// The system's own unpacker; the bundle carries none.
#include "platform/portable/location.h"
#include "platform/portable/system.h"

namespace tovren {

Location unpackerFor(const Location&) { return Location("/usr/bin/ditto"); }

}  // namespace tovren
