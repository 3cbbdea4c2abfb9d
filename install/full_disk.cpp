#include "install/full_disk.h"

#include <cerrno>
#include <cstdio>
#include <exception>

#include "install/runner.h"
#include "platform/portable/error.h"

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

// Whether the error being handled is the system's "no space left" or "quota
// exceeded", or a child's failure.
std::pair<int, bool> noSpaceOrChild() {
  try {
    throw;
  } catch (const PlatformError& error) {
    return {error.code() == ENOSPC || error.code() == EDQUOT ? error.code() : 0, false};
  } catch (const ChildFailure&) {
    return {0, true};
  } catch (...) {
    return {0, false};
  }
}

}  // namespace

void rethrowNamingAFullDisk(FileManager& files, const Location& folder) {
  auto [noSpace, child] = noSpaceOrChild();
  std::optional<Space> space = noSpace == ENOSPC || child ? files.space(folder) : std::nullopt;
  bool noFiles = space && space->files == 0;
  bool full = space && (noSpace || space->bytes < nearlyFull || noFiles);
  // The disk may have room while this user's share of it is used up, which only
  // the system's own answer or a reservation shows.
  if (noSpace == EDQUOT || (child && !full && files.quotaReached(folder, nearlyFull)))
    throw SetupFailure("Your quota on the disk that holds " + folder.path() +
                       " is used up. Make room in your files there, then run setup again.\n" +
                       describe(std::current_exception()));
  if (!full) throw;
  throw SetupFailure(
      "The disk that holds " + folder.path() + " is full: it has " + amount(space->bytes) +
      " free" + (noFiles ? " and room for no more files" : "") +
      ". Make room on it, then run setup again.\n" + describe(std::current_exception()));
}

}  // namespace tovren
