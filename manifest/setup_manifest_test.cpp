#include "manifest/setup_manifest.h"

#include "support/base64.h"
#include "support/json.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// Texts are taken as they stand, every entry is kept, other members are ignored,
// and the first broken member is named with its path.
TEST(SetupManifest, DecodesExactlyTheRecordsOrNamesTheFirstBrokenMember) {
  const std::string read = "The setup manifest could not be read: ",
                    json = "The setup manifest is not valid JSON (";
  const std::string asset =
      R"({"archive": "A.zip", "sha256": "ABC", "binary_sha256": "", "bytes": 1, "notes": [1, {"x": null}]})";
  struct Case {
    std::string json;
    std::string outcome;  // the records, or the description; one ending in "(" is a prefix: the
                          // rest is the parser's
  } cases[] = {
      {R"({"version": "3/..", "launcher_version": "3", "platforms": {"Darwin-ARM64": )" + asset +
           R"(, "b": )" + asset + "}}",
       "3/..: Darwin-ARM64 A.zip ABC ; b A.zip ABC ; "},
      {R"({"version": " 1 ", "platforms": {}})", " 1 : "},
      {R"({"platforms": {}})", read + R"(the top level has no member "version".)"},
      {R"({"Version": "1", "platforms": {}})", read + R"(the top level has no member "version".)"},
      {R"({"version": null, "platforms": {}})",
       read + R"("version" is null where a string is expected.)"},
      {R"({"platforms": 1, "version": 3})",
       read + R"("version" is a number where a string is expected.)"},
      {R"({"version": "3"})", read + R"(the top level has no member "platforms".)"},
      {R"({"version": "3", "platforms": []})",
       read + R"("platforms" is an array where an object is expected.)"},
      {R"({"version": "3", "platforms": {"a": )" + asset +
           R"(, "b": {"archive": "B.zip", "sha256": "x"}}})",
       read + R"("platforms" → "b" has no member "binary_sha256".)"},
      {R"({"version": "3", "platforms": {"a": {"archive": true}}})",
       read + R"("platforms" → "a" → "archive" is a boolean where a string is expected.)"},
      {R"({"version": "3", "platforms": {"a": "A.zip"}})",
       read + R"("platforms" → "a" is a string where an object is expected.)"},
      {"[]", read + "the top level is an array where an object is expected."},
      {R"({"version": "1", "platforms": {}, "bytes": 8e3971})", json},
      {R"({"version": "1", "platforms": {},})", json},
      {R"({"version": "1" /* note */, "platforms": {}})", json},
      {"{\"version\": \"\xff\", \"platforms\": {}}", json},
  };
  for (const auto& c : cases) {
    std::string outcome;
    try {
      SetupManifest manifest = decodeManifestJson(Bytes(c.json.begin(), c.json.end()));
      outcome = manifest.version + ": ";
      for (const auto& [key, a] : manifest.platforms)
        outcome += key + " " + a.archive + " " + a.sha256 + " " + a.binary_sha256 + "; ";
    } catch (const DecodingError& error) {
      outcome = error.what();
    }
    if (c.outcome.ends_with("(")) {
      EXPECT_TRUE(outcome.starts_with(c.outcome) && outcome.ends_with(").") &&
                  outcome.find("json.exception") == std::string::npos)
          << outcome;
    } else {
      EXPECT_EQ(outcome, c.outcome) << c.json;
    }
  }
}

TEST(SetupManifest, Base64IsReadStrictly) {
  for (std::string text : {"", "YQ==", "YWI=", "YWJj", "+/+/"})
    EXPECT_EQ(encodeBase64(*decodeBase64(text)), text);
  // A line break, a space, missing or inner or extra pad characters, pad bits that
  // are not zero, the URL-safe alphabet.
  for (std::string text :
       {"YWJ\n", "YW J", "YQ", "YQ=", "YQ==YWJj", "Y===", "====", "YR==", "YWJ-"})
    EXPECT_FALSE(decodeBase64(text)) << text;
}

}  // namespace
}  // namespace tovren::testing
