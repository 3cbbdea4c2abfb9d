#pragma once
// The setup sequence: one run of the program's work.

#include "manifest/build.h"
#include "platform/portable/application.h"
#include "platform/portable/file_manager.h"
#include "platform/portable/processes.h"

namespace tovren {

// The platform services one run uses, set once by the entry.
struct Services {
  FileManager& files;
  Application& app;
  Processes& processes;
};

// Finds the home folder, decodes the manifest, then prepares and installs.
// Returns when setup is finished or the user declined; raises otherwise. A
// failure that comes from a full disk says so first.
void setup(const Services& services, const Build& build);

}  // namespace tovren
