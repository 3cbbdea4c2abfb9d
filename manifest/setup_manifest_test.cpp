#include "manifest/setup_manifest.h"

#include <gtest/gtest.h>

#include "install/digest.h"
#include "manifest/build.h"
#include "platform/base64.h"
#include "platform/json.h"
#include "tests/program.h"

namespace tovren {
namespace {

const std::string digestA(64, 'a');
const std::string digestB(64, 'b');

Bytes bytesOf(const std::string& text) { return Bytes(text.begin(), text.end()); }

std::string asset(const std::string& archive, const std::string& extra = "") {
  return R"({"archive": ")" + archive + R"(", "sha256": ")" + digestA + R"(", "binary_sha256": ")" + digestB + "\"" +
         extra + "}";
}

std::string manifest(const std::string& platforms, const std::string& version = R"("version": "0.8.3-runtime.1")") {
  return "{" + version + R"(, "platforms": {)" + platforms + "}}";
}

std::string describeFailure(const std::string& json) {
  try {
    decodeManifestJson(bytesOf(json));
  } catch (const DecodingError& error) {
    return error.what();
  }
  return "<decoded>";
}

TEST(SetupManifest, ShippedManifestDescribesTheShippedArchives) {
  SetupManifest shipped = decodeManifest(embeddedManifest);
  EXPECT_EQ(shipped.version, "0.8.3-runtime.1");
  ASSERT_EQ(shipped.platforms.size(), 2u);
  EXPECT_EQ(shipped.platforms.at("darwin-arm64").archive, "MAC-ARM.zip");
  EXPECT_EQ(shipped.platforms.at("darwin-amd64").archive, "MAC-X64.zip");
  for (const auto& [key, entry] : shipped.platforms) {
    std::string zip = testing::contentOf(std::string(TOVREN_ARCHIVES) + "/" + entry.archive);
    EXPECT_EQ(entry.sha256, digest(bytesOf(zip))) << key;
  }
}

TEST(SetupManifest, ShippedTextIsOneLineWithTheMembersThatBelongToNoRecord) {
  auto json = decodeBase64(embeddedManifest);
  ASSERT_TRUE(json);
  std::string text(json->begin(), json->end());
  EXPECT_EQ(text.find('\n'), std::string::npos);
  EXPECT_TRUE(text.starts_with(R"({"version": "0.8.3-runtime.1", "launcher_version": "3", "platforms": {"darwin-arm64": {"archive": "MAC-ARM.zip", "sha256": ")"));
  auto size = testing::contentOf(std::string(TOVREN_ARCHIVES) + "/MAC-X64.zip").size();
  EXPECT_TRUE(text.ends_with(R"(", "bytes": )" + std::to_string(size) + "}}}"));
  // Without the members that belong to no record, the same records.
  std::string plain = manifest(R"("darwin-arm64": )" + asset("MAC-ARM.zip") + R"(, "darwin-amd64": )" + asset("MAC-X64.zip"));
  std::string extra = R"({"version": "0.8.3-runtime.1", "launcher_version": "3", "platforms": {"darwin-arm64": )" +
                      asset("MAC-ARM.zip", R"(, "bytes": 3288650)") + R"(, "darwin-amd64": )" +
                      asset("MAC-X64.zip", R"(, "bytes": 3538025, "notes": [1, {"x": null}])") + "}}";
  EXPECT_EQ(decodeManifestJson(bytesOf(plain)), decodeManifestJson(bytesOf(extra)));
}

TEST(SetupManifest, KeepsEveryEntryAndEveryTextUnchanged) {
  std::string upper(64, 'A');
  std::string json = manifest(R"("darwin-amd64": {"archive": " MAC-X64.zip", "sha256": ")" + upper +
                                  R"(", "binary_sha256": ""}, "linux-riscv64": )" + asset("RISCV.zip") +
                                  R"(, "Darwin-ARM64": )" + asset("other.zip"),
                              R"("version": "3/..")");
  SetupManifest decoded = decodeManifestJson(bytesOf(json));
  EXPECT_EQ(decoded.version, "3/..");
  EXPECT_EQ(decoded.platforms.at("darwin-amd64"), (SetupAsset{" MAC-X64.zip", upper, ""}));
  EXPECT_EQ(decoded.platforms.at("linux-riscv64").archive, "RISCV.zip");
  EXPECT_EQ(decoded.platforms.count("darwin-arm64"), 0u);  // keys match exactly
  EXPECT_TRUE(decodeManifestJson(bytesOf(manifest(""))).platforms.empty());
}

TEST(SetupManifest, FirstBrokenMemberIsNamedWithItsPath) {
  const std::string prefix = "The setup manifest could not be read: ";
  struct Case {
    std::string json;
    std::string description;
  } cases[] = {
      {R"({"platforms": {}})", prefix + R"(the top level has no member "version".)"},
      {R"({"Version": "1", "platforms": {}})", prefix + R"(the top level has no member "version".)"},
      {R"({"version": null, "platforms": {}})", prefix + R"("version" is null where a string is expected.)"},
      {R"({"version": 3, "platforms": {}})", prefix + R"("version" is a number where a string is expected.)"},
      {R"({"version": "3"})", prefix + R"(the top level has no member "platforms".)"},
      {R"({"version": "3", "platforms": []})", prefix + R"("platforms" is an array where an object is expected.)"},
      {R"({"platforms": 1, "version": 2})", prefix + R"("version" is a number where a string is expected.)"},
      {manifest(R"("darwin-arm64": )" + asset("A.zip") + R"(, "darwin-amd64": {"archive": "B.zip", "sha256": "x"})"),
       prefix + R"("platforms" → "darwin-amd64" has no member "binary_sha256".)"},
      {manifest(R"("darwin-amd64": {"archive": true, "sha256": 1})"),
       prefix + R"("platforms" → "darwin-amd64" → "archive" is a boolean where a string is expected.)"},
      {manifest(R"("darwin-amd64": "MAC-X64.zip")"),
       prefix + R"("platforms" → "darwin-amd64" is a string where an object is expected.)"},
      {"[]", prefix + "the top level is an array where an object is expected."},
      {R"({"version": "1", "platforms": {}, "bytes": 8e3971})",
       "The setup manifest is not valid JSON (number overflow parsing '8e3971')."},
      {R"({"version": "1", "platforms": {},})", "The setup manifest is not valid JSON (at line 1, column 34: syntax error while parsing object key - unexpected '}'; expected string literal)."},
      {"{\"version\": \"1\" /* note */, \"platforms\": {}}", "The setup manifest is not valid JSON (at line 1, column 17: syntax error while parsing object - invalid literal; last read: '\"1\" /'; expected '}')."},
      {"{\"version\": \"\xff\", \"platforms\": {}}", "The setup manifest is not valid JSON (at line 1, column 14: syntax error while parsing value - invalid string: ill-formed UTF-8 byte; last read: '\"\xff')."},
  };
  for (const auto& c : cases) EXPECT_EQ(describeFailure(c.json), c.description) << c.json;
}

TEST(SetupManifest, TextThatIsNotBase64IsSaidPlainly) {
  EXPECT_THROW(
      try { decodeManifest("eyJ2ZXJzaW9uIjogIjEifQ==\n"); } catch (const DecodingError& error) {
        EXPECT_STREQ(error.what(), "The setup manifest built into this program is damaged: it is not valid Base64.");
        throw;
      },
      DecodingError);
}

}  // namespace
}  // namespace tovren
