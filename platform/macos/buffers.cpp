// Memory for whole-file reads. The system has no huge pages to ask for; malloc
// maps large buffers on their own and does not clear them first.
#include "platform/buffers.h"

#include <cstdlib>
#include <new>

namespace tovren {

void* allocateBuffer(std::size_t bytes) {
  if (void* p = std::malloc(bytes ? bytes : 1)) return p;
  throw std::bad_alloc();
}

void releaseBuffer(void* memory, std::size_t) { std::free(memory); }

}  // namespace tovren
