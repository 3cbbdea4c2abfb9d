#include "platform/error.h"

#include <cstring>

namespace tovren {

void raise(const std::string& action, const std::string& path, int code) {
  throw PlatformError(action + " \"" + path + "\": " + std::strerror(code) + ".", code);
}

}  // namespace tovren
