#pragma once
// Memory for whole-file reads, and a file's content held in it.

#include <cstddef>
#include <cstdint>
#include <new>
#include <utility>
#include <vector>

namespace tovren {

// Memory for a whole-file read of `bytes`, released with the same size by
// releaseBuffer; raises std::bad_alloc. It is not cleared: the read fills it.
void* allocateBuffer(std::size_t bytes);
void releaseBuffer(void* memory, std::size_t bytes);

// Memory for whole-file reads, from allocateBuffer. Elements made without a value
// are not cleared: the read overwrites them.
template <typename T>
struct ReadBufferAllocator {
  using value_type = T;
  ReadBufferAllocator() = default;
  template <typename U>
  ReadBufferAllocator(const ReadBufferAllocator<U>&) {}

  T* allocate(std::size_t n) { return static_cast<T*>(allocateBuffer(n * sizeof(T))); }
  void deallocate(T* p, std::size_t n) { releaseBuffer(p, n * sizeof(T)); }
  template <typename U>
  void construct(U* p) noexcept {
    ::new (static_cast<void*>(p)) U;
  }
  template <typename U, typename... Args>
  void construct(U* p, Args&&... args) {
    ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
  }
  template <typename U>
  bool operator==(const ReadBufferAllocator<U>&) const {
    return true;
  }
};

// A file's content as read. Unlike Bytes, one made with a size holds whatever the
// memory held until it is filled.
using FileContent = std::vector<std::uint8_t, ReadBufferAllocator<std::uint8_t>>;

}  // namespace tovren
