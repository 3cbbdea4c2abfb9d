// The built program, run as a user runs it.
#include <gtest/gtest.h>

#include "tests/program.h"

namespace tovren::testing {
namespace {

std::string setupProgram(const std::string& bundle) {
  return bundle == "TOVREN" ? std::string(TOVREN_MAIN_BUNDLE) + "/Contents/MacOS/tovren-setup"
                            : std::string(TOVREN_BUNDLES) + "/" + bundle + ".app/Contents/MacOS/tovren-setup";
}

const std::string alertTitle = "TOVREN could not finish setup\n\n";

TEST(Bundle, ManifestThatDoesNotDecodeEndsInTheAlertWithStatusOne) {
  struct Case {
    const char* bundle;
    std::string body;
  } cases[] = {
      {"without-version", "The setup manifest could not be read: the top level has no member \"version\".\n"},
      {"not-base64", "The setup manifest built into this program is damaged: it is not valid Base64.\n"},
  };
  for (const auto& c : cases) {
    TemporaryFolder home;
    Outcome outcome = run({setupProgram(c.bundle), {}, {{"HOME", home.path()}}, std::nullopt});
    EXPECT_EQ(outcome.status, 1) << c.bundle;
    EXPECT_EQ(outcome.errorOutput, alertTitle + c.body) << c.bundle;
    EXPECT_EQ(snapshot(home.path()), "") << "nothing may be written before the manifest decodes";
  }
}

TEST(Bundle, AlertOnATerminalWaitsForOk) {
  TemporaryFolder home;
  Outcome outcome = run({setupProgram("without-version"), {}, {{"HOME", home.path()}}, "\n"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.terminal.find("TOVREN could not finish setup\r\n\r\nThe setup manifest could not be read"), std::string::npos)
      << outcome.terminal;
  EXPECT_NE(outcome.terminal.find("1) OK"), std::string::npos);
}

TEST(Bundle, CommandLineArgumentsChangeNothing) {
  for (std::vector<std::string> arguments : {std::vector<std::string>{}, {"--help"}, {"-x", "-k", "/", "/tmp"}}) {
    TemporaryFolder home;
    Outcome outcome = run({setupProgram("without-version"), arguments, {{"HOME", home.path()}}, std::nullopt});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.errorOutput, alertTitle + "The setup manifest could not be read: the top level has no member \"version\".\n");
  }
}

}  // namespace
}  // namespace tovren::testing
