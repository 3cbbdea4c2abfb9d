#include "platform/bytes.h"

#include <gtest/gtest.h>

#include <cstdint>

namespace tovren {
namespace {

// Buffers on either side of the size where they are mapped on huge pages keep
// every byte through copies and growth, and big ones start on a huge page.
TEST(FileContent, KeepsItsContentAcrossSizesCopiesAndGrowth) {
  for (std::size_t size : {std::size_t{0}, std::size_t{1}, std::size_t{(2u << 20) - 1}, std::size_t{2u << 20},
                           std::size_t{(65u << 20) + 3}}) {
    FileContent bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 131 + 7);
    FileContent copy = bytes;
    EXPECT_EQ(copy, bytes) << size;
    bytes.resize(size * 2 + 1);
    bool prefixKept = true;
    for (std::size_t i = 0; i < size; ++i) prefixKept = prefixKept && bytes[i] == static_cast<std::uint8_t>(i * 131 + 7);
    EXPECT_TRUE(prefixKept) << size;
    if (bytes.capacity() >= (2u << 20)) {
      EXPECT_EQ(reinterpret_cast<std::uintptr_t>(bytes.data()) % (2u << 20), 0u) << size;
    }
  }
}

}  // namespace
}  // namespace tovren
