#pragma once

#include "platform/file_manager.h"

namespace tovren {

// Returns when neither `destination` nor any folder above it, up to and including
// "/", is a symbolic link. Otherwise raises a SetupFailure naming the link nearest
// to the destination. Items that are missing or cannot be examined are skipped;
// nothing else is raised, and nothing on disk changes.
void safe(FileManager& files, const Location& destination);

}  // namespace tovren
