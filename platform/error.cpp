#include "platform/error.h"

#include <cstring>
#include <new>

namespace tovren {

void raise(const std::string& action, const std::string& path, int code) {
  throw PlatformError(action + " \"" + path + "\": " + std::strerror(code) + ".", code);
}

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

}  // namespace tovren
