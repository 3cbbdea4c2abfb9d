// Apple's spawn flag that closes every descriptor the file actions do not name,
// and the child's folder.
#include "platform/posix/spawn.h"

namespace tovren {

// The folder is set by the `_np` call, which every macOS from 10.15 on has. Newer
// SDKs declare the POSIX name as available from macOS 26 only: in a program for
// macOS 12 it would be a weak import, called at address 0 on older systems. Where
// an SDK marks the `_np` name deprecated, the call is still right on every system.
#pragma clang diagnostic push
#pragma clang diagnostic ignored "-Wdeprecated-declarations"
int confineChild(posix_spawn_file_actions_t* actions, posix_spawnattr_t* attributes,
                 const std::string& folder) {
  short flags = 0;
  if (int code = ::posix_spawnattr_getflags(attributes, &flags)) return code;
  if (int code = ::posix_spawnattr_setflags(attributes, flags | POSIX_SPAWN_CLOEXEC_DEFAULT))
    return code;
  return ::posix_spawn_file_actions_addchdir_np(actions, folder.c_str());
}
#pragma clang diagnostic pop

}  // namespace tovren
