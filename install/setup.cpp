#include "install/setup.h"

#include "manifest/setup_manifest.h"

namespace tovren {

void setup(const Services& services, const Build& build) {
  Location home = services.files.home();
  SetupManifest manifest = decodeManifest(build.manifest);
  (void)home;
  (void)manifest;
}

}  // namespace tovren
