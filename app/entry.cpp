#include "app/entry.h"

#include <new>

namespace tovren {

std::string describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const std::bad_alloc&) {
    return "There was not enough memory to finish setup.";
  } catch (const std::exception& known) {
    return known.what();
  } catch (...) {
    return "Setup stopped because of an unexpected error.";
  }
}

int enter(Application& app, const std::function<void()>& setup) {
  try {
    setup();
    return 0;
  } catch (...) {
    // Whatever happens while reporting, the run has failed.
    try {
      app.activate();
      app.runModal(Alert{"TOVREN could not finish setup", describe(std::current_exception()), {"OK"}});
    } catch (...) {
    }
    return 1;
  }
}

}  // namespace tovren
