// The test program's allocations, as tests/test.h describes them.
#include <cerrno>
#include <cstdlib>
#include <new>

namespace tovren::testing {
bool allocationsSetErrno = false;
std::size_t failingAllocation = 0;
}  // namespace tovren::testing

using tovren::testing::failingAllocation;

void* operator new(std::size_t size) {
  if (failingAllocation && size >= failingAllocation) {
    failingAllocation = 0;
    throw std::bad_alloc();
  }
  void* memory = std::malloc(size ? size : 1);
  if (!memory) throw std::bad_alloc();
  if (tovren::testing::allocationsSetErrno) errno = ENOMEM;
  return memory;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // this new is malloc
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop
