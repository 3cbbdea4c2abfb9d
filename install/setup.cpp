#include "install/setup.h"

#include "install/full_disk.h"
#include "install/installation.h"
#include "manifest/setup_manifest.h"

namespace tovren {

namespace {

// The preparation, whose errors leave unchanged unless they come from a full disk.
std::optional<Handover> prepared(const Services& services, const Location& home,
                                 SetupManifest manifest) try {
  return prepare(services, home, std::move(manifest));
} catch (...) {
  rethrowNamingAFullDisk(services.files, toolsFolderOf(home));
}

}  // namespace

void setup(const Services& services, const Build& build) {
  Location home = services.files.home();
  SetupManifest manifest = decodeManifest(build.manifest);
  std::optional<Handover> handover = prepared(services, home, std::move(manifest));
  if (handover) install(services, std::move(*handover), build);
}

}  // namespace tovren
