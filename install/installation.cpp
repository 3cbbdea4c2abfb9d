#include "install/installation.h"

#include "install/digest.h"
#include "install/failure_message.h"
#include "install/readable.h"
#include "install/runner.h"
#include "install/safe.h"
#include "install/setup_failure.h"
#include "manifest/version_marker.h"
#include "platform/bundle.h"
#include "platform/uuid.h"
#include "support/error.h"
#include "tovren/constants.h"

namespace tovren {

namespace {

constexpr unsigned consoleMode = 0700;
constexpr unsigned stagingFolderMode = 0700;
const char* const filesMissing = "The setup files are missing. Download a fresh TOVREN app.";

bool matches(std::span<const std::uint8_t> bytes, const std::string& expected) {
  return digest(bytes) == expected;
}

const SetupAsset& platformEntry(const SetupManifest& manifest, std::string_view platformKey) {
  auto found = manifest.platforms.find(std::string(platformKey));
  if (found == manifest.platforms.end()) throw SetupFailure(filesMissing);
  return found->second;
}

Location resourceFolder(Application& app) {
  std::optional<Location> folder = app.resourceFolder();
  if (!folder) throw SetupFailure(filesMissing);
  return *folder;
}

// Whether the console file holds the expected bytes, read in pieces: only its
// digest is needed, so no size of it keeps a run from replacing it. Any failure
// to read it only means it is not in place.
bool inPlace(FileManager& files, const Location& console, const std::string& expected) {
  return ifReadable([&] { return digest(files, console, Links::refuse); }) == expected;
}

// An earlier run that could not set the console's permissions left it with the
// mode of its write, which does not let it start; such a console gets them now.
// Any other console in place is left as it is.
void restoreMode(FileManager& files, const Location& console) {
  std::optional<Attributes> item = files.attributes(console, Links::refuse);
  // One that cannot be examined is left to its start to tell.
  if (item && !(item->permissions & 0100)) files.setMode(console, consoleMode);
}

// Checks the archive, read in pieces: the unpacker reads the file itself, so its
// bytes are never held, and an archive of any size is told damaged, not too large.
void verifyArchive(FileManager& files, const Location& archive, const std::string& expected) {
  if (digest(files, archive, Links::follow) != expected)
    throw SetupFailure("The setup archive did not pass verification. Download a fresh TOVREN app.");
}

// Unpacks the verified archive into a new private staging folder, verifies the
// console in it, and writes those very bytes to `console`.
void unpackAndInstall(const Services& services, const Handover& handover, StagingFolder& staging,
                      const Location& resources, const Location& archive,
                      const std::string& expected, const Location& console) {
  FileManager& files = services.files;
  Location folder = staging.make(handover.toolsFolder);
  run(services.processes, unpackerFor(resources), {"-x", "-k", archive.path(), folder.path()},
      handover.log, handover.home);
  Location staged = folder.append(std::string(constants::consoleEntry));
  safe(files, staged);
  FileContent bytes = files.read(staged, Links::refuse);
  if (!matches(bytes, expected)) throw SetupFailure("The console did not pass verification.");
  files.write(console, bytes);
  files.setMode(console, consoleMode);
  staging.remove();
}

// Once the console has completed its installation, the consoles it supersedes
// (other versions, or other processors) go: files of this user's named
// "console-" in the tools folder, never the one that just ran. One that cannot
// be removed stays, for the next successful run to try again.
void removeSuperseded(FileManager& files, const Location& toolsFolder, const Location& console) {
  try {
    for (const std::string& name : files.names(toolsFolder)) {
      if (!name.starts_with("console-") || name == console.name()) continue;
      Location other = toolsFolder.append(name);
      std::optional<Attributes> item = files.attributes(other, Links::refuse);
      if (!item || item->type != ItemType::file || !item->ours) continue;
      try {
        files.remove(other);
      } catch (const PlatformError&) {
      }
    }
  } catch (const PlatformError&) {
  }
}

// A console that ended well but left no list naming this version has every
// later run ask again, and nobody would know why: the log says what was looked
// for. Otherwise success stays quiet; a note that cannot be written is left out.
void noteUnregistered(FileManager& files, const Handover& handover, const Location& console,
                      std::string_view word) {
  const std::string& version = handover.manifest.version;
  Listed found = listed(files, handover.home, version);
  if (found == Listed::thisVersion) return;
  std::string plist = launchAgentOf(handover.home).path();
  try {
    handover.log.write("setup: " + console.name() + " ended with status 0 but " +
                       (found == Listed::none
                            ? "wrote no " + plist
                            : plist + " holds no \"" + versionMarker(version, "") +
                                  "\" followed by an architecture, as in \"" +
                                  versionMarker(version, word) + "\"") +
                       ", so the next run of setup will ask again.\n");
  } catch (const PlatformError&) {
  }
}

void installSteps(const Services& services, const Handover& handover, StagingFolder& staging,
                  const Build& build) {
  const SetupAsset& asset = platformEntry(handover.manifest, build.platformKey);
  Location resources = resourceFolder(services.app);
  Location console = handover.toolsFolder.append("console-" + handover.manifest.version + "-" +
                                                 std::string(build.architectureWord));
  safe(services.files, console);
  if (!inPlace(services.files, console, asset.binary_sha256)) {
    Location archive = resources.append(asset.archive);
    verifyArchive(services.files, archive, asset.sha256);
    unpackAndInstall(services, handover, staging, resources, archive, asset.binary_sha256, console);
  } else {
    restoreMode(services.files, console);
  }
  run(services.processes, console, {"--install-auto", "--home", handover.home.path()}, handover.log,
      handover.home);
  noteUnregistered(services.files, handover, console, build.architectureWord);
  removeSuperseded(services.files, handover.toolsFolder, console);
}

}  // namespace

Location StagingFolder::make(const Location& toolsFolder) {
  Location folder = toolsFolder.append(std::string(stagingPrefix) + newUuid());
  files_.createFolder(folder, false, stagingFolderMode);
  return *(made_ = folder);
}

void StagingFolder::remove() noexcept {
  if (!made_) return;
  try {
    files_.remove(*made_);
  } catch (...) {
  }
  made_.reset();
}

void install(const Services& services, const Handover& handover, StagingFolder& staging,
             const Build& build) {
  try {
    installSteps(services, handover, staging, build);
  } catch (const Interrupted&) {
    throw;
  } catch (...) {
    // The log is read while its handle is still open: the children have ended, and
    // what they wrote is in the file, which the message is read from by name.
    std::throw_with_nested(SetupFailure(
        failureMessage(describe(std::current_exception()), services.files, handover.setupLog)));
  }
}

}  // namespace tovren
