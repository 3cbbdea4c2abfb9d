// glibc's spawn actions close every descriptor from 3 up and change the folder.
#include "platform/posix/spawn.h"

namespace tovren {

int confineChild(posix_spawn_file_actions_t* actions, posix_spawnattr_t*,
                 const std::string& folder) {
  if (int code = ::posix_spawn_file_actions_addclosefrom_np(actions, 3)) return code;
  return ::posix_spawn_file_actions_addchdir_np(actions, folder.c_str());
}

}  // namespace tovren
