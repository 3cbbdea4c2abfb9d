#pragma once
// The first phase of setup: install kind, consent, tools folder and setup log.

#include <optional>

#include "install/services.h"
#include "manifest/setup_manifest.h"

namespace tovren {

// What the preparation hands to the installation, and nothing else.
struct Handover {
  FileHandle lock;  // the tools folder's, held for the rest of the run
  Location home;
  SetupManifest manifest;
  Location toolsFolder;  // exists, accepted by safe
  Location setupLog;     // exists, empty, mode 600, accepted by safe
  FileHandle log;        // open for writing at the log's start; closed with the handover
};

// How a staging folder's name begins in the tools folder; a UUID follows.
inline constexpr std::string_view stagingPrefix = ".setup-";

// The tools folder under `home`.
Location toolsFolderOf(const Location& home);

// The launch agent's property list under `home`, which the console writes.
Location launchAgentOf(const Location& home);

// What the launch agent's list under `home` says of `version`: there is none (or
// it cannot be examined), it names exactly that version (namesVersion), or it
// names another, or nothing that can be read as UTF-8 within a bound.
enum class Listed { none, thisVersion, another };
Listed listed(FileManager& files, const Location& home, const std::string& version);

// Decides the install kind, asks for consent where needed, then prepares the
// tools folder, locked for this run (a second run waits here for the first to
// end) and cleared of leftovers, and an empty, private setup log open for
// writing. Returns none when the user declined, with nothing created. Errors are
// raised unchanged, and nothing done before them is undone.
[[nodiscard]] std::optional<Handover> prepare(const Services& services, const Location& home,
                                              SetupManifest manifest);

}  // namespace tovren
