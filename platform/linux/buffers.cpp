// Memory for whole-file reads: large buffers are mapped on huge pages, which a read
// fills with a few hundred page faults instead of hundreds of thousands.
#include "platform/buffers.h"

#include <sys/mman.h>

#include <cstdint>
#include <cstdlib>
#include <new>

namespace tovren {

namespace {

constexpr std::size_t hugePage = std::size_t{2} << 20;

// Buffers of this size or more are mapped on their own, aligned to huge pages.
constexpr std::size_t mappedSize = hugePage;

std::size_t mappedLength(std::size_t bytes) { return (bytes + hugePage - 1) / hugePage * hugePage; }

void* mapAligned(std::size_t bytes) {
  std::size_t length = mappedLength(bytes);
  // Map one huge page more, then give back what lies before and after the
  // aligned part.
  void* raw = ::mmap(nullptr, length + hugePage, PROT_READ | PROT_WRITE,
                     MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (raw == MAP_FAILED) throw std::bad_alloc();
  auto start = reinterpret_cast<std::uintptr_t>(raw);
  auto aligned = (start + hugePage - 1) / hugePage * hugePage;
  if (aligned > start) ::munmap(raw, aligned - start);
  if (std::size_t tail = start + hugePage - aligned)
    ::munmap(reinterpret_cast<void*>(aligned + length), tail);
  ::madvise(reinterpret_cast<void*>(aligned), length, MADV_HUGEPAGE);
  return reinterpret_cast<void*>(aligned);
}

}  // namespace

void* allocateBuffer(std::size_t bytes) {
  if (bytes >= mappedSize) return mapAligned(bytes);
  if (void* p = std::malloc(bytes ? bytes : 1)) return p;
  throw std::bad_alloc();
}

void releaseBuffer(void* memory, std::size_t bytes) {
  if (bytes >= mappedSize) {
    ::munmap(memory, mappedLength(bytes));
  } else {
    std::free(memory);
  }
}

}  // namespace tovren
