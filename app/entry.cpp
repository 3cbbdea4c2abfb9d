#include "app/entry.h"

#include "install/setup_failure.h"
#include "platform/interruption.h"
#include "platform/standard_error.h"

namespace tovren {

namespace {

// The failure alert. Whatever else happens while reporting, the run has failed;
// only a request to stop ends it otherwise.
void showFailure(Application& app, const std::string& description) {
  try {
    app.activate();
    app.runModal(Alert{"TOVREN could not finish setup", description, {"OK"}});
  } catch (const Interrupted&) {
    throw;
  } catch (...) {
  }
}

}  // namespace

int exitStatusOf(Application& app, const std::function<void()>& setup) {
  try {
    try {
      setup();
      return 0;
    } catch (const Interrupted&) {
      throw;
    } catch (...) {
      showFailure(app, describe(std::current_exception()));
      return 1;
    }
  } catch (const Interrupted& interrupted) {
    // Asked to stop, also while an alert waits: one line, and nothing that waits
    // for a button, nor more than half a second for a reader that holds it back. The
    // status is a shell's for a command ended by that signal.
    writeError(interrupted.description() + "\n", std::chrono::milliseconds(500));
    return 128 + interrupted.signal();
  }
}

}  // namespace tovren
