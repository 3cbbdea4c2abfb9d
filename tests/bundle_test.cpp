// The built program, run as a user runs it.
#include <gtest/gtest.h>

#include <filesystem>

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

namespace tovren::testing {
namespace {

TEST(Bundle, DeclinedOrUnaskableConsentLeavesTheHomeAsItWas) {
  struct Case {
    const char* name;
    std::optional<std::string> typed;
  } cases[] = {{"Cancel", "2\n"}, {"end of input", "\x04"}, {"no terminal", std::nullopt}, {"wrong, then Cancel", "x\n2\n"}};
  for (const auto& c : cases) {
    TemporaryFolder home;
    Outcome outcome = run({setupProgram("TOVREN"), {}, {{"HOME", home.path()}}, c.typed});
    EXPECT_EQ(outcome.status, 0) << c.name;
    EXPECT_EQ(snapshot(home.path()), "") << c.name;
    std::string shown = c.typed ? outcome.terminal : outcome.errorOutput;
    EXPECT_NE(shown.find("Set up TOVREN on this Mac"), std::string::npos) << c.name << ": " << shown;
  }
}

// The desktop toolkit is loaded when the first alert is shown, not at start: a
// run that asks nothing costs the same with a display as without one.
TEST(Bundle, RunThatAsksNothingLoadsNoToolkit) {
  TemporaryFolder home, logs;
  std::filesystem::create_directories(home.path() + "/Library/LaunchAgents");
  writeFile(home.path() + "/Library/LaunchAgents/kestrine.console.plist", "automatic-0.8.3-runtime.1-");
  auto environment = shimmed("libgtk", logs.path() + "/log");
  environment["HOME"] = home.path();
  environment["DISPLAY"] = ":3999";
  EXPECT_EQ(run({setupProgram("TOVREN"), {}, environment}).status, 0);
  EXPECT_EQ(contentOf(logs.path() + "/log"), "");
}

TEST(Bundle, LinkOnTheWayEndsInTheAlert) {
  TemporaryFolder home;
  std::filesystem::create_directory(home.path() + "/elsewhere");
  std::filesystem::create_directory_symlink(home.path() + "/elsewhere", home.path() + "/.tovren");
  Outcome outcome = run({setupProgram("TOVREN"), {}, {{"HOME", home.path()}}, "1\n\n"});
  EXPECT_EQ(outcome.status, 1);
  EXPECT_NE(outcome.terminal.find("Setup stopped because a destination folder is a symbolic link: " + home.path() + "/.tovren\r\n"),
            std::string::npos)
      << outcome.terminal;
  EXPECT_TRUE(std::filesystem::is_empty(home.path() + "/elsewhere"));
}

}  // namespace
}  // namespace tovren::testing
