#pragma once
// What the POSIX child processes need of each system's own calls, defined in
// spawn.cpp of the system's folder.

#include <spawn.h>

#include <string>

namespace tovren {

// Adds to a child's spawn `actions` and `attributes`, after its standard
// descriptors are set up, what keeps it from inheriting any other descriptor and
// starts it in `folder`. Returns 0, or the error number.
[[nodiscard]] int confineChild(posix_spawn_file_actions_t* actions, posix_spawnattr_t* attributes,
                               const std::string& folder);

}  // namespace tovren
