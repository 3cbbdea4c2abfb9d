// The consent prompt and the failure alert as desktop dialogs, driven under a
// virtual X server with xdotool; screenshots land in build/test-outputs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "tests/program.h"

namespace tovren::testing {
namespace {

namespace fs = std::filesystem;

const std::string setupProgram = std::string(TOVREN_MAIN_BUNDLE) + "/Contents/MacOS/tovren-setup";
const std::string outputs = std::string(TOVREN_BUILD_DIR) + "/test-outputs";

bool installed(const std::string& program) { return fs::exists("/usr/bin/" + program); }

class Desktop : public ::testing::Test {
 protected:
  void SetUp() override {
    for (const char* tool : {"Xvfb", "xdotool", "import", "convert"})
      if (!installed(tool)) GTEST_SKIP() << tool << " is not installed";
    // A display number no other server holds (tests may run side by side).
    int number = 90 + getpid() % 100;
    while (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) ++number;
    display_ = ":" + std::to_string(number);
    server_ = std::make_unique<Background>(Launch{"/usr/bin/Xvfb", {display_, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}});
    std::string socket = "/tmp/.X11-unix/X" + display_.substr(1);
    for (int i = 0; i < 100 && !fs::exists(socket); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(fs::exists(socket)) << "the virtual X server did not start";
    fs::create_directories(outputs);
  }

  Outcome tool(const std::string& program, std::vector<std::string> arguments) {
    return run({"/usr/bin/timeout", [&] {
                  std::vector<std::string> all{"20", "/usr/bin/" + program};
                  all.insert(all.end(), arguments.begin(), arguments.end());
                  return all;
                }(), {{"DISPLAY", display_}}});
  }

  // Starts the setup program of `bundle` on the virtual display in `home`.
  std::unique_ptr<Background> start(const std::string& home, const std::string& program = setupProgram) {
    return std::make_unique<Background>(Launch{program, {}, {{"HOME", home}, {"DISPLAY", display_}}});
  }

  // Waits for the dialog whose title is its message text; focuses it.
  void expectDialog(const std::string& message) {
    Outcome found = tool("xdotool", {"search", "--sync", "--name", "^" + message + "$"});
    ASSERT_EQ(found.status, 0) << "no dialog \"" << message << "\"";
    tool("xdotool", {"search", "--name", "^" + message + "$", "windowfocus", "--sync"});
    std::this_thread::sleep_for(std::chrono::milliseconds(300));  // let it draw
  }

  // Saves the screen as a PNG and checks that something was drawn on it.
  void screenshot(const std::string& name) {
    std::string path = outputs + "/" + name + ".png";
    ASSERT_EQ(tool("import", {"-window", "root", path}).status, 0);
    Outcome spread = run({"/usr/bin/convert", {path, "-format", "%[fx:standard_deviation]", "info:" + path + ".txt"}});
    ASSERT_EQ(spread.status, 0) << spread.errorOutput;
    EXPECT_GT(std::stod(contentOf(path + ".txt")), 0.05) << path << " looks blank";
    fs::remove(path + ".txt");
  }

  void key(const std::string& name) { ASSERT_EQ(tool("xdotool", {"key", name}).status, 0); }

  std::string display_;
  std::unique_ptr<Background> server_;
};

TEST_F(Desktop, ReturnOnTheConsentDialogInstalls) {
  TemporaryFolder home;
  auto program = start(home.path());
  expectDialog("Set up TOVREN on this Mac");
  screenshot("consent-dialog");
  key("Return");
  Outcome outcome = program->wait();
  EXPECT_EQ(outcome.status, 0) << outcome.errorOutput;
  EXPECT_TRUE(fs::exists(home.path() + "/Library/LaunchAgents/kestrine.console.plist"));
}

TEST_F(Desktop, CancelOrClosingTheConsentDialogCreatesNothing) {
  for (const char* way : {"click Cancel", "Escape"}) {
    TemporaryFolder home;
    auto program = start(home.path());
    expectDialog("Set up TOVREN on this Mac");
    if (std::string(way) == "Escape") {
      key("Escape");
    } else {
      // The dialog sits at the screen's corner (no window manager): Cancel is the
      // right half of its bottom row.
      Outcome geometry = run({"/bin/sh", {"-c", "xdotool search --name '^Set up TOVREN on this Mac$' getwindowgeometry --shell"
                                                " | tr '\\n' ' ' >&2"}, {{"DISPLAY", display_}}});
      int width = 0, height = 0;
      std::sscanf(geometry.errorOutput.substr(geometry.errorOutput.find("WIDTH=")).c_str(), "WIDTH=%d HEIGHT=%d", &width, &height);
      ASSERT_GT(width, 0) << geometry.errorOutput;
      ASSERT_EQ(tool("xdotool", {"mousemove", std::to_string(width * 3 / 4), std::to_string(height - 12), "click", "1"}).status, 0);
    }
    Outcome outcome = program->wait();
    EXPECT_EQ(outcome.status, 0) << way;
    EXPECT_EQ(snapshot(home.path()), "") << way;
  }
}

TEST_F(Desktop, DamagedArchiveShowsTheFailureAlert) {
  TemporaryFolder copy;
  fs::copy(TOVREN_MAIN_BUNDLE, copy.path() + "/TOVREN.app", fs::copy_options::recursive);
  for (const char* archive : {"MAC-X64.zip", "MAC-ARM.zip"})
    writeFile(copy.path() + "/TOVREN.app/Contents/Resources/" + archive, "PK damaged");
  TemporaryFolder home;
  auto program = start(home.path(), copy.path() + "/TOVREN.app/Contents/MacOS/tovren-setup");
  expectDialog("Set up TOVREN on this Mac");
  key("Return");
  expectDialog("TOVREN could not finish setup");
  screenshot("failure-alert");
  key("Return");
  Outcome outcome = program->wait();
  EXPECT_EQ(outcome.status, 1);
}

TEST_F(Desktop, DisplayThatCannotBeOpenedFallsBackToNoInteraction) {
  TemporaryFolder home;
  Outcome outcome = run({setupProgram, {}, {{"HOME", home.path()}, {"DISPLAY", ":3999"}}});
  EXPECT_EQ(outcome.status, 0);
  EXPECT_NE(outcome.errorOutput.find("Set up TOVREN on this Mac\n\nThen connect your Quillet"), std::string::npos)
      << outcome.errorOutput;
  EXPECT_EQ(snapshot(home.path()), "");
}

}  // namespace
}  // namespace tovren::testing
