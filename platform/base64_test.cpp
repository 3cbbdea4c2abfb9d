#include "platform/base64.h"

#include <gtest/gtest.h>

namespace tovren {
namespace {

std::string text(const std::optional<Bytes>& bytes) { return bytes ? std::string(bytes->begin(), bytes->end()) : "<none>"; }

TEST(Base64, DecodesOnlyStrictStandardForm) {
  struct Case {
    const char* input;
    const char* expected;
  } cases[] = {
      {"", ""},
      {"YQ==", "a"},
      {"YWI=", "ab"},
      {"YWJj", "abc"},
      {"+/+/", "\xfb\xff\xbf"},
      {"YWJj\n", "<none>"},      // a line break is not skipped
      {"YW Jj", "<none>"},       // nor a space
      {"YQ", "<none>"},          // padding missing
      {"YQ=", "<none>"},         // length not a multiple of 4
      {"YQ==YWJj", "<none>"},    // padding inside
      {"Y===", "<none>"},        // three pad characters
      {"====", "<none>"},
      {"YR==", "<none>"},        // pad bits not zero
      {"YWJ-", "<none>"},        // URL-safe alphabet is not the standard one
  };
  for (const auto& c : cases) EXPECT_EQ(text(decodeBase64(c.input)), c.expected) << "input: " << c.input;
}

TEST(Base64, EncodingDecodesBackForEveryLengthAndByte) {
  Bytes bytes;
  for (int i = 0; i < 300; ++i) {
    EXPECT_EQ(decodeBase64(encodeBase64(bytes)), bytes) << "length " << i;
    bytes.push_back(static_cast<std::uint8_t>(i * 37));
  }
}

}  // namespace
}  // namespace tovren
