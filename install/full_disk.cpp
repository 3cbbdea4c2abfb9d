#include "install/full_disk.h"

#include <cerrno>
#include <cstdio>
#include <exception>

#include "install/runner.h"
#include "platform/limits.h"
#include "support/error.h"

namespace tovren {

namespace {

// "0 bytes", "512 bytes", "12.3 KB", "4.1 MB": decimal units, as disks are sold.
std::string amount(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + (bytes == 1 ? " byte" : " bytes");
  double value = static_cast<double>(bytes);
  const char* unit = "KB";
  for (const char* larger : {"MB", "GB", "TB", "PB"}) {
    if (value < 999950) break;
    value /= 1000, unit = larger;
  }
  char text[32];
  std::snprintf(text, sizeof text, "%.1f %s", value / 1000, unit);
  return text;
}

// What the error being handled says of room: the system's "no space left",
// "quota exceeded" or "file too large", and whether it is a child's failure, and
// one for writing past the file-size limit.
struct Cause {
  int code = 0;
  bool child = false, overFileSizeLimit = false;
};

Cause causeOf(std::exception_ptr raised) {
  try {
    std::rethrow_exception(raised);
  } catch (const PlatformError& error) {
    int code = error.code();
    return {code == ENOSPC || code == EDQUOT ? code : 0, false, code == EFBIG};
  } catch (const ChildFailure& failure) {
    return {0, true, failure.overFileSizeLimit};
  } catch (const std::nested_exception& made) {
    // The installation's failure, made from the one that ended it.
    return causeOf(made.nested_ptr());
  } catch (...) {
    return {};
  }
}

}  // namespace

void rethrowNamingAFullDisk(FileManager& files, const Location& folder) {
  Cause cause = causeOf(std::current_exception());
  std::string description = describe(std::current_exception());
  // Without a limit of this program's own, "too large" is the file system's.
  std::optional<std::uint64_t> limit = cause.overFileSizeLimit ? fileSizeLimit() : std::nullopt;
  if (limit)
    throw SetupFailure("The file-size limit set for this program (" + amount(*limit) +
                       ") is too small for the files setup writes. Raise it (ulimit -f), then "
                       "run setup again.\n" +
                       description);
  bool noRoom = cause.code == ENOSPC, overQuota = cause.code == EDQUOT, child = cause.child;
  std::optional<Space> space = noRoom || child ? files.space(folder) : std::nullopt;
  bool noFiles = space && space->files == 0;
  bool full = space && (noRoom || space->bytes < nearlyFull || noFiles);
  // The disk may have room while this user's share of it is used up, which only
  // the system's own answer or a reservation shows.
  if (overQuota || (child && !full && files.quotaReached(folder, nearlyFull)))
    throw SetupFailure("Your quota on the disk that holds " + folder.path() +
                       " is used up. Make room in your files there, then run setup again.\n" +
                       description);
  if (!full) throw;
  throw SetupFailure("The disk that holds " + folder.path() + " is full: it has " +
                     amount(space->bytes) + " free" +
                     (noFiles ? " and room for no more files" : "") +
                     ". Make room on it, then run setup again.\n" + description);
}

}  // namespace tovren
