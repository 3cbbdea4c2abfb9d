#include "install/digest.h"

#include <gtest/gtest.h>

#include <string>

namespace tovren {
namespace {

std::string digestOf(const std::string& text) {
  return digest(std::span(reinterpret_cast<const std::uint8_t*>(text.data()), text.size()));
}

// The published SHA-256 test vectors (FIPS 180-4 examples and NIST's long message).
TEST(Digest, MatchesPublishedVectorsInLowerCaseHex) {
  EXPECT_EQ(digestOf(""), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
  EXPECT_EQ(digestOf("abc"), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  EXPECT_EQ(digestOf("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq"),
            "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
  EXPECT_EQ(digestOf(std::string(1000000, 'a')), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Digest, KeepsLeadingZerosOfSmallBytes) {
  std::string text = digestOf("hello world");
  EXPECT_EQ(text, "b94d27b9934d3e08a52e52d7da7dabfac484efe37a5380ee9088f7ace2efcde9");
  EXPECT_EQ(text.size(), 64u);
}

TEST(Digest, OneChangedByteChangesTheText) {
  std::string bytes(4096, 'x');
  std::string before = digestOf(bytes);
  bytes[2048] = 'y';
  EXPECT_NE(digestOf(bytes), before);
}

}  // namespace
}  // namespace tovren
