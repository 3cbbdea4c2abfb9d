#pragma once
// The setup sequence: one run of the program's work.

#include "install/services.h"
#include "manifest/build.h"

namespace tovren {

// Finds the home folder, decodes the manifest, then prepares and installs.
// Returns when setup is finished or the user declined; raises otherwise. A
// failure of either phase that comes from a full disk, a used-up quota or the
// file-size limit says so first: this is the one place that tells.
void setup(const Services& services, const Build& build);

}  // namespace tovren
