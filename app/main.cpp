// The TOVREN setup program: installs, updates and starts the console.
#include <cstdlib>

#include "app/entry.h"
#include "install/setup.h"
#include "platform/portable/system.h"
#include "platform/posix/posix_file_manager.h"
#include "platform/posix/posix_processes.h"

int main() {
  using namespace tovren;
  keepWritesFromSignalling();
  FileManager& files = defaultManager();
  Application& app = sharedApplication();
  app.setAccessoryPolicy();
  int status = exitStatusOf(app, [&] {
    setup(Services{files, app, defaultProcesses()}, thisBuild());
  });
  if (status != 0) std::exit(status);
  return 0;
}
