#pragma once
// A failure that comes from a full disk, told as such: the setup log lives on that
// disk too, so what a child said of it may be lost.

#include "platform/file_manager.h"

namespace tovren {

// Below this much free space a disk counts as full.
constexpr std::uint64_t nearlyFull = std::uint64_t{1} << 20;

// Called while an error is handled: raises it again, as a SetupFailure that begins
// with "The disk that holds <folder> is full: ..." and the disk's free space when
// the error comes from a full disk, and unchanged otherwise. It comes from a full
// disk when the system reported no space left, or when a child program failed
// while the disk that holds `folder` has less than nearlyFull free or no room
// for new files. Where the system reported this user's quota exceeded, or a child
// failed while the quota leaves less than nearlyFull or no file, the SetupFailure
// begins "Your quota on the disk that holds <folder> is used up." instead; where a
// write went past this program's file-size limit, it names the limit. A failure
// made from another (std::nested_exception) is judged by the one it was made from.
[[noreturn]] void rethrowNamingAFullDisk(FileManager& files, const Location& folder);

}  // namespace tovren
