#pragma once
// What the POSIX file manager needs of each system's own calls, one function each,
// defined in files.cpp of the system's folder.

#include <cstdint>
#include <string>

#include "platform/file_manager.h"

namespace tovren {

// The room on the file system that holds `path`: the bytes a user who is not the
// administrator may still write there, and the entries left for new files where
// the file system counts them. Returns 0, or the error number.
[[nodiscard]] int freeSpace(const std::string& path, Space& space);

// Gives the file at `descriptor` `bytes` of the disk without writing them, counted
// against the user's quota as written bytes are. Returns 0, or the error number.
[[nodiscard]] int reserve(int descriptor, std::uint64_t bytes);

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
[[nodiscard]] int setModeRefusingLinks(const std::string& path, unsigned mode);

}  // namespace tovren
