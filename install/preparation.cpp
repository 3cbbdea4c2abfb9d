#include "install/preparation.h"

#include <algorithm>
#include <cctype>

#include "install/readable.h"
#include "install/safe.h"
#include "install/setup_failure.h"
#include "manifest/version_marker.h"
#include "tovren/constants.h"

namespace tovren {

namespace {

constexpr unsigned toolsFolderMode = 0700;
constexpr unsigned setupLogMode = 0600;
// A launch-agent property list is a few hundred bytes; one past this size is not
// the console's, and counts as unreadable.
constexpr std::size_t propertyListBound = std::size_t{1} << 20;

// The consent prompt of a first installation, where there is no list, or of an update.
Alert consentAlert(Listed kind) {
  if (kind == Listed::none)
    return Alert{"Set up TOVREN on this Mac",
                 "Then connect your Quillet, scan and enter your purchase key. Your tools connect "
                 "automatically. You can turn off automatic startup in Help.",
                 {"Set up", "Cancel"}};
  return Alert{
      "Update TOVREN on this Mac",
      "This replaces the background program. Your current connection will end and need a new scan. "
      "Saved configurations and purchase keys are kept.",
      {"Update", "Cancel"}};
}

// Whether every character of `text` passes `test`.
template <typename Test>
bool all(std::string_view text, Test test) {
  return std::all_of(text.begin(), text.end(), [&](char c) { return test(c); });
}

// A UUID as newUuid writes it: 8-4-4-4-12 upper-case hexadecimal digits.
bool isUuid(std::string_view text) {
  auto digit = [](char c) {
    return std::isdigit(static_cast<unsigned char>(c)) || (c >= 'A' && c <= 'F');
  };
  if (text.size() != 36) return false;
  for (std::size_t dash : {8, 13, 18, 23})
    if (text[dash] != '-') return false;
  return all(text, [&](char c) { return c == '-' || digit(c); });
}

// A staging folder (stagingPrefix and a UUID) or the temporary file of an atomic
// write ("." and the file's name, ".tmp-" and the six letters or digits that
// mkstemp chose).
bool leftover(std::string_view name) {
  if (name.starts_with(stagingPrefix)) return isUuid(name.substr(stagingPrefix.size()));
  std::size_t tmp = name.size() >= 13 ? name.size() - 11 : 0;
  return tmp > 1 && name[0] == '.' && name.substr(tmp, 5) == ".tmp-" &&
         all(name.substr(tmp + 5),
             [](char c) { return std::isalnum(static_cast<unsigned char>(c)); });
}

// Refuses a folder of the tools folder's path that another account owns: it
// could replace the console between its check and its start.
void requireOurs(FileManager& files, const Location& folder) {
  std::optional<Attributes> item = files.attributes(folder, Links::refuse);
  if (item && !item->ours)
    throw SetupFailure("The folder " + folder.path() + " belongs to " + item->owner +
                       ", not to you. Setup installs only into folders of your own: remove it, "
                       "or have it given to you, then run setup again.");
}

// Makes a folder of the tools folder's path that others may use in any way
// private (mode 700, which takes an access list's mask with it), and refuses one
// others may still write in: its disk does not keep the mode (exFAT, FAT). Where
// others may only read, a mode the disk refuses leaves it as it was.
void makePrivate(FileManager& files, const Location& folder) {
  auto openToOthers = [&](unsigned bits) {
    std::optional<Attributes> item = files.attributes(folder, Links::refuse);
    return item && (item->permissions & bits);
  };
  if (!openToOthers(077)) return;
  try {
    files.setMode(folder, toolsFolderMode);
  } catch (const PlatformError&) {
    if (openToOthers(022)) throw;
  }
  if (openToOthers(022))
    throw SetupFailure("The folder " + folder.path() +
                       " cannot be made private: its disk does not keep permissions, as exFAT "
                       "and FAT disks do not, so other users could change what setup installs. "
                       "Setup needs your home folder on a disk that keeps them.");
}

// Removes from the tools folder what interrupted runs left there: staging folders
// and the temporary files of atomic writes, and nothing else. One that cannot be
// removed stays, for a later run.
void removeLeftovers(FileManager& files, const Location& toolsFolder) {
  for (const std::string& name : files.names(toolsFolder)) {
    if (!leftover(name)) continue;
    try {
      files.remove(toolsFolder.append(name));
    } catch (const PlatformError&) {
      // Left for a later run: this one's own names never collide with it.
    }
  }
}

// Asks for consent with the wording of `kind`; true only for the first button.
bool consent(Application& app, Listed kind) {
  app.activate();
  return app.runModal(consentAlert(kind)) == firstButton;
}

}  // namespace

Location launchAgentOf(const Location& home) {
  return home.append(std::string(constants::launchAgent));
}

Listed listed(FileManager& files, const Location& home, const std::string& version) {
  Location plist = launchAgentOf(home);
  // A property list that cannot even be examined counts as absent.
  if (!files.attributes(plist, Links::follow)) return Listed::none;
  // One that cannot be read as UTF-8, or is larger than any list the console
  // writes, counts as empty.
  std::string text = ifReadable([&] {
                       return readText(files, plist, Links::follow, propertyListBound);
                     }).value_or("");
  return namesVersion(text, version) ? Listed::thisVersion : Listed::another;
}

Location toolsFolderOf(const Location& home) {
  return home.append(std::string(constants::toolsFolder));
}

std::optional<Handover> prepare(const Services& services, const Location& home,
                                SetupManifest manifest) {
  FileManager& files = services.files;
  // The same version set up is not asked about; a first installation and an
  // update are.
  Listed kind = listed(files, home, manifest.version);
  if (kind != Listed::thisVersion && !consent(services.app, kind)) return std::nullopt;

  Location toolsFolder = toolsFolderOf(home);
  safe(files, toolsFolder);
  // Nothing is created in a home or a folder of another account's (a run under
  // sudo that kept the user's HOME), and nothing installed where others may write.
  for (const Location& folder : {home, toolsFolder.parent(), toolsFolder})
    requireOurs(files, folder);
  files.createFolder(toolsFolder, true, toolsFolderMode);
  for (const Location& folder : {toolsFolder.parent(), toolsFolder}) makePrivate(files, folder);
  FileHandle lock = files.lock(toolsFolder);
  removeLeftovers(files, toolsFolder);

  Location setupLog = toolsFolder.append("setup.log");
  safe(files, setupLog);
  files.write(setupLog, {});
  // Set after the write: the write makes a file private to the owner, whatever
  // stood there before, and the log's mode is this program's decision.
  files.setMode(setupLog, setupLogMode);
  return Handover{std::move(lock), home,     std::move(manifest),
                  toolsFolder,     setupLog, files.openForWriting(setupLog)};
}

}  // namespace tovren
