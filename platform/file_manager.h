#pragma once
// The file operations of the setup sequence, through the one object the entry
// makes, and of the build's own programs; defined in platform/posix/file_manager.cpp.

#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/buffers.h"
#include "platform/file_handle.h"
#include "support/error.h"
#include "support/location.h"

namespace tovren {

// What an item in the file system is.
enum class ItemType { file, folder, link, other };

// What the file system says of an item.
struct Attributes {
  ItemType type;
  unsigned permissions;  // the mode's permission bits, e.g. 0700
  bool ours;             // owned by the user who runs the program
  std::string owner;     // when not ours, the owner's account name, or "user N"
};

// What a file system has free for this user.
struct Space {
  std::uint64_t bytes;
  std::optional<std::uint64_t> files;  // entries for new files; none where it sets no limit
};

// Whether an operation may follow a symbolic link at the location itself. The
// program's own destinations are never followed: a link planted as their last
// component after they were checked is refused. Links among the folders above
// are followed, as in any path lookup.
enum class Links { follow, refuse };

// The file operations, on the system's own calls (platform/posix/). An operation
// that fails raises a PlatformError naming the operation, the path and the
// system's reason, unless its own contract says otherwise: the two queries answer
// none instead.
class FileManager {
 public:
  // The current user's home folder.
  Location home();
  // The attributes of the item at `location`: of the item itself (a link is a
  // link) with Links::refuse, of what it leads to with Links::follow. None when it
  // cannot be examined: it is missing, or access is refused.
  [[nodiscard]] std::optional<Attributes> attributes(const Location& location, Links links);
  // Creates the folder with exactly `mode`, and with `intermediates` every missing
  // folder above it too. With `intermediates` an existing folder is success and is
  // left as it is; without, it is an error.
  void createFolder(const Location& location, bool intermediates, unsigned mode);
  // What the file system that holds `location`, or the nearest folder above it
  // that exists, has free; none when it cannot be told.
  [[nodiscard]] std::optional<Space> space(const Location& location);
  // Whether this user's quota on the disk that holds the existing `folder` leaves
  // less than `bytes` or no file: a file that size is reserved in the folder, and
  // removed at once. False where it cannot be told; the free space is not asked.
  [[nodiscard]] bool quotaReached(const Location& folder, std::uint64_t bytes);
  // Sets the item's permission bits to exactly `mode`; a link is refused, not followed.
  void setMode(const Location& location, unsigned mode);
  // Removes the item and, for a folder, everything in it; never follows a link. A
  // folder it empties is made writable by its owner first.
  void remove(const Location& location);
  // The names of the items in the folder, in no order.
  std::vector<std::string> names(const Location& folder);
  // Takes the system's exclusive lock on the folder, waiting while another process
  // holds it; a request to stop ends the wait with Interrupted. The lock is the
  // returned handle's: it ends when the handle closes or the process ends,
  // however it ends.
  FileHandle lock(const Location& folder);
  // The whole content of the file. Anything but a regular file is refused, and a
  // fifo never makes the call wait.
  FileContent read(const Location& location, Links links);
  // Hands the file's content to `take` in order, in pieces of at most a fixed
  // size that this call holds one at a time: a file of any size is read in
  // bounded memory. Refused as read refuses.
  void readPieces(const Location& location, Links links,
                  const std::function<void(std::span<const std::uint8_t>)>& take);
  // The last `count` bytes of the file, or all of it when it is shorter; refused
  // as read refuses, and a link at `location` is not followed.
  FileContent readEnd(const Location& location, std::size_t count);
  // Makes the file hold exactly `bytes`, atomically: readers see the old or the new
  // content, never a part, and the content is durable (platform/posix/files.h)
  // before the new file takes the name; the name's own durability is attempted,
  // not promised. A link at `location` is replaced, not followed. The new file is
  // never wider than 0600 until the caller sets its mode.
  void write(const Location& location, std::span<const std::uint8_t> bytes);
  // Opens the existing regular file for writing at its start, without truncating
  // it; a link is refused, not followed. The handle closes itself.
  FileHandle openForWriting(const Location& location);
};

}  // namespace tovren
