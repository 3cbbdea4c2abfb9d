#include "install/setup_failure.h"

#include <new>

namespace tovren {

std::string describe(std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const Error& known) {
    return known.description();  // whole, whatever characters the log put in it
  } catch (const std::bad_alloc&) {
    return "There was not enough memory to finish setup.";
  } catch (const std::exception& known) {
    return known.what();
  } catch (...) {
    return "Setup stopped because of an unexpected error.";
  }
}

}  // namespace tovren
