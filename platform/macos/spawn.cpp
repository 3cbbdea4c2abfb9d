// Apple's spawn flag that closes every descriptor the file actions do not name,
// and the child's folder.
#include "platform/posix/system.h"

// The POSIX name of the folder action, where the system's headers do not declare it
// yet: a declared one is an exact match and is chosen over this template.
template <typename Actions>
int posix_spawn_file_actions_addchdir(Actions* actions, const char* folder) {
  return ::posix_spawn_file_actions_addchdir_np(actions, folder);
}

namespace tovren {

int confineChild(posix_spawn_file_actions_t* actions, posix_spawnattr_t* attributes,
                 const std::string& folder) {
  short flags = 0;
  if (int code = ::posix_spawnattr_getflags(attributes, &flags)) return code;
  if (int code = ::posix_spawnattr_setflags(attributes, flags | POSIX_SPAWN_CLOEXEC_DEFAULT))
    return code;
  return ::posix_spawn_file_actions_addchdir(actions, folder.c_str());
}

}  // namespace tovren
