#include "app/entry.h"

#include <new>

#include "install/setup_failure.h"
#include "support/error.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// A run that returns ends with 0 and no alert; one that raises anything, with one
// alert that shows the error's whole description, and 1, even if the alert fails.
TEST(Entry, ExitStatusAndTheFailureAlert) {
  const std::string message("stopped\n\nlog \0 tail\nSetup log: /x", 33);
  std::pair<std::function<void()>, std::string> cases[] = {
      {[] {}, ""},
      {[&] { throw SetupFailure(message); }, message},
      {[] { throw PlatformError("Could not create the folder", "/h/.tovren", "Not a directory"); },
       "Could not create the folder \"/h/.tovren\": Not a directory."},
      {[] { throw std::bad_alloc(); }, "There was not enough memory to finish setup."},
      {[] { throw 42; }, "Setup stopped because of an unexpected error."},
  };
  for (const auto& [setup, body] : cases) {
    ScriptedApplication app;
    EXPECT_EQ(exitStatusOf(app, setup), body.empty() ? 0 : 1) << body;
    EXPECT_EQ(app.calls, (body.empty() ? std::vector<std::string>{}
                                       : std::vector<std::string>{"activate", alertTitle}))
        << body;
    for (const auto& alert : app.alerts)
      EXPECT_EQ(std::pair(alert.informativeText, alert.buttons),
                std::pair(body, std::vector<std::string>{"OK"}));
  }
  struct BrokenApplication : ScriptedApplication {
    int runModal(const Alert&) override { throw std::bad_alloc(); }
  } broken;
  EXPECT_EQ(exitStatusOf(broken, [] { throw SetupFailure("x"); }), 1);
  // Every way of showing an alert shows one to three buttons.
  for (std::size_t buttons : {0, 4})
    EXPECT_THROW(Alert("t", "i", std::vector<std::string>(buttons, "b")), std::invalid_argument);
}

}  // namespace
}  // namespace tovren::testing
