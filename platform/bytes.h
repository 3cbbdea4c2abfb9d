#pragma once

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace tovren {

// Raw memory for buffers, released with the same size; raises std::bad_alloc.
void* allocateBuffer(std::size_t bytes);
void releaseBuffer(void* p, std::size_t bytes);

// Memory for byte buffers. Whole files are read into these buffers: large ones are
// mapped on huge pages, which a read fills with a few hundred page faults instead
// of hundreds of thousands; and no buffer is cleared before it is filled.
template <typename T>
struct BufferAllocator {
  using value_type = T;
  BufferAllocator() = default;
  template <typename U>
  BufferAllocator(const BufferAllocator<U>&) {}

  T* allocate(std::size_t n) { return static_cast<T*>(allocateBuffer(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { releaseBuffer(p, n * sizeof(T)); }
  // Elements made without a value are left as they are: a read overwrites them.
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const BufferAllocator<U>&) const { return true; }
};

// A whole file's content, or any other buffer of bytes.
using Bytes = std::vector<std::uint8_t, BufferAllocator<std::uint8_t>>;

}  // namespace tovren
