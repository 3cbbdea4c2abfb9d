#include "install/setup.h"

#include "install/installation.h"
#include "manifest/setup_manifest.h"

namespace tovren {

void setup(const Services& services, const Build& build) {
  Location home = services.files.home();
  SetupManifest manifest = decodeManifest(build.manifest);
  std::optional<Handover> handover = prepare(services, home, std::move(manifest));
  if (handover) install(services, std::move(*handover), build);
}

}  // namespace tovren
