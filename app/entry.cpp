#include "app/entry.h"

#include <iostream>

#include "install/setup_failure.h"
#include "platform/processes.h"

namespace tovren {

int exitStatusOf(Application& app, const std::function<void()>& setup) {
  try {
    setup();
    return 0;
  } catch (const Interrupted& interrupted) {
    // Asked to stop: one line, and nothing that waits for a button. The status is
    // a shell's for a command ended by that signal.
    std::cerr << interrupted.description() << std::endl;
    return 128 + interrupted.signal();
  } catch (...) {
    // Whatever happens while reporting, the run has failed.
    try {
      app.activate();
      app.runModal(
          Alert{"TOVREN could not finish setup", describe(std::current_exception()), {"OK"}});
    } catch (...) {
    }
    return 1;
  }
}

}  // namespace tovren
