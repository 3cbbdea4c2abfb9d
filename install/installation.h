#pragma once
// The second phase of setup: verify, unpack, install and hand over to the console.

#include <optional>

#include "install/preparation.h"
#include "manifest/build.h"

namespace tovren {

// The staging folder of one run, once the installation has made it: removed by
// remove(), or when this value ends, whatever that meets. A folder that cannot be
// removed is left; the next run takes a new name, and removes it.
class StagingFolder {
 public:
  explicit StagingFolder(FileManager& files) : files_(files) {}
  ~StagingFolder() { remove(); }
  StagingFolder(const StagingFolder&) = delete;
  StagingFolder& operator=(const StagingFolder&) = delete;

  // Makes a new private folder, named by a new UUID, in `toolsFolder`.
  Location make(const Location& toolsFolder);
  void remove() noexcept;

 private:
  FileManager& files_;
  std::optional<Location> made_;
};

// Makes sure the console of the manifest's version lies in the tools folder with
// exactly the content the manifest names, then runs it once with "--install-auto";
// once it has succeeded, the consoles it supersedes are removed.
// Every failure leaves as one SetupFailure whose message carries the end of the
// setup log, with the failure it was made from nested in it (an interruption
// leaves as it came). The staging folder is made in `staging`, and removed once the
// console is installed; after a failure, by its owner.
void install(const Services& services, const Handover& handover, StagingFolder& staging,
             const Build& build);

}  // namespace tovren
