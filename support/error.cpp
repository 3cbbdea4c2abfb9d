#include "support/error.h"

#include <cstring>

namespace tovren {

void throwSystemError(const char* call, const std::string& path, int code) {
  throw PlatformError(call, path, std::strerror(code), code);
}

}  // namespace tovren
