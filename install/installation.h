#pragma once
// The second phase of setup: verify, unpack, install and hand over to the console.

#include "install/preparation.h"

namespace tovren {

// Makes sure the console of the manifest's version lies in the tools folder with
// exactly the content the manifest names, then runs it once with "--install-auto".
// The handover, with the log handle, ends with this phase: the handle is closed at
// every exit, after a failure's message is composed. Every failure leaves as one
// SetupFailure whose message carries the end of the setup log. The staging folder
// is removed at every exit; one that cannot be removed is left, and the next run
// takes a new name.
void install(const Services& services, Handover handover, const Build& build);

}  // namespace tovren
