#pragma once
// The POSIX promises whose keeping differs by operating system, one function each,
// defined in the system's own folder of platform/ (see platform/portable/system.h).

#include <spawn.h>

#include <string>

#include "platform/portable/file_manager.h"

namespace tovren {

// The room on the file system that holds `path`: the bytes a user who is not the
// administrator may still write there, and the entries left for new files where
// the file system counts them. Returns 0, or the error number.
int freeSpace(const std::string& path, Space& space);

// Gives the file at `descriptor` `bytes` of the disk without writing them, counted
// against the user's quota as written bytes are. Returns 0, or the error number.
int reserve(int descriptor, std::uint64_t bytes);

// Makes the bytes written through `descriptor` durable: on the storage device
// itself, not only in a cache of the system or of the drive, so that a crash or a
// power loss after the return leaves them in the file. Raises a PlatformError
// "Could not write" naming `path` when the system reports a failure.
void syncFile(int descriptor, const std::string& path);

// Makes the names just changed in `folder` (a rename into it) durable as syncFile
// does. A failure of the sync is deliberately tolerated, not reported: the new file is already
// in place for every reader, and a crash before its name reaches the disk brings
// back the old file, which the next run finds and replaces.
void syncFolder(const std::string& folder);

// Sets the permission bits of the item at `path` itself to exactly `mode`. A
// symbolic link there is refused with the system's reason, and neither it nor
// what it points to changes. Returns 0, or the error number.
int setModeRefusingLinks(const std::string& path, unsigned mode);

// Adds to a child's spawn `actions` and `attributes`, after its standard
// descriptors are set up, what keeps it from inheriting any other descriptor and
// starts it in `folder`. Returns 0, or the error number.
int confineChild(posix_spawn_file_actions_t* actions, posix_spawnattr_t* attributes,
                 const std::string& folder);

}  // namespace tovren
