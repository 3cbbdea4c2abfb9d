#include "app/entry.h"

#include "install/setup_failure.h"

namespace tovren {

int exitStatusOf(Application& app, const std::function<void()>& setup) {
  try {
    setup();
    return 0;
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
