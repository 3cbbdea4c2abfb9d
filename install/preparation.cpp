#include "install/preparation.h"

#include "install/safe.h"
#include "tovren/constants.h"

namespace tovren {

namespace {

constexpr unsigned toolsFolderMode = 0700;
constexpr unsigned setupLogMode = 0600;

Alert consentAlert(InstallKind kind) {
  if (kind == InstallKind::firstInstallation)
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

}  // namespace

Location toolsFolderOf(const Location& home) {
  return home.append(std::string(constants::toolsFolder));
}

InstallKind installKind(FileManager& files, const Location& home, const std::string& version) {
  Location plist = home.append(std::string(constants::launchAgent));
  // A property list that cannot even be examined counts as absent.
  if (!files.attributes(plist, Links::follow)) return InstallKind::firstInstallation;
  // The trailing "-" keeps a longer version that begins with this one apart.
  std::string marker = std::string(constants::versionMarker) + version + "-";
  // One that cannot be read as UTF-8 counts as empty.
  std::string text = ifReadable([&] { return readText(files, plist, Links::follow); }).value_or("");
  return text.find(marker) != std::string::npos ? InstallKind::sameVersion : InstallKind::update;
}

bool consent(Application& app, InstallKind kind) {
  app.activate();
  return app.runModal(consentAlert(kind)) == firstButton;
}

std::optional<Handover> prepare(const Services& services, const Location& home,
                                SetupManifest manifest) {
  FileManager& files = services.files;
  InstallKind kind = installKind(files, home, manifest.version);
  if (kind != InstallKind::sameVersion && !consent(services.app, kind)) return std::nullopt;

  Location toolsFolder = toolsFolderOf(home);
  safe(files, toolsFolder);
  files.createFolder(toolsFolder, true, toolsFolderMode);

  Location setupLog = toolsFolder.append("setup.log");
  safe(files, setupLog);
  files.write(setupLog, {});
  // Set after the write: the write makes a file private to the owner, whatever
  // stood there before, and the log's mode is this program's decision.
  files.setMode(setupLog, setupLogMode);
  return Handover{home, std::move(manifest), toolsFolder, setupLog, files.openForWriting(setupLog)};
}

}  // namespace tovren
