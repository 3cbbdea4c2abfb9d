#include "install/setup.h"

#include "install/full_disk.h"
#include "install/installation.h"
#include "manifest/setup_manifest.h"

namespace tovren {

void setup(const Services& services, const Build& build) {
  Location home = services.files.home();
  SetupManifest manifest = decodeManifest(build.manifest);
  // A failure is told while the run still holds what it made, so that the disk is
  // measured before the staging folder gives back its room. Both go when setup
  // ends: the staging folder first, while the tools folder is still locked.
  std::optional<Handover> handover;
  StagingFolder staging(services.files);
  try {
    if (auto prepared = prepare(services, home, std::move(manifest)))
      install(services, handover.emplace(std::move(*prepared)), staging, build);
  } catch (...) {
    rethrowNamingAFullDisk(services.files, toolsFolderOf(home));
  }
}

}  // namespace tovren
