// The TOVREN setup program: installs, updates and starts the console.
#include "app/entry.h"
#include "install/setup.h"
#include "platform/limits.h"

int main() {
  using namespace tovren;
  FileManager files;
  Processes processes;
  Application& app = sharedApplication();
  end(exitStatusOf(app, [&] {
    keepWritesFromSignalling();
    catchInterruptions();
    setup(Services{files, app, processes}, thisBuild());
  }));
}
