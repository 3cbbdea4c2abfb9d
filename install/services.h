#pragma once
// The platform services one run uses.

#include "platform/application.h"
#include "platform/file_manager.h"
#include "platform/processes.h"

namespace tovren {

// Set once by the entry, shared by both phases of setup.
struct Services {
  FileManager& files;
  Application& app;
  Processes& processes;
};

}  // namespace tovren
