#include "platform/uuid.h"

#include <uuid/uuid.h>

namespace tovren {

std::string newUuid() {
  uuid_t value;
  uuid_generate_random(value);
  char text[37];
  uuid_unparse_upper(value, text);
  return text;
}

}  // namespace tovren
