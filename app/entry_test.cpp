#include "app/entry.h"

#include <gtest/gtest.h>

#include <new>

#include "install/setup_failure.h"
#include "platform/error.h"
#include "tests/fakes.h"

namespace tovren {
namespace {

using testing::ScriptedApplication;

TEST(Entry, ReturnedSetupEndsWithStatusZeroAndNoAlert) {
  ScriptedApplication app;
  int calls = 0;
  EXPECT_EQ(exitStatusOf(app, [&] { ++calls; }), 0);
  EXPECT_EQ(calls, 1);
  EXPECT_TRUE(app.calls.empty());
}

TEST(Entry, AnyRaisedErrorEndsInOneAlertWithItsDescriptionAndStatusOne) {
  struct Case {
    const char* name;
    std::function<void()> setup;
    std::string body;
  } cases[] = {
      {"own failure, several lines", [] { throw SetupFailure("Setup stopped (exit 3).\n\nlog\nSetup log: /x"); },
       "Setup stopped (exit 3).\n\nlog\nSetup log: /x"},
      {"platform error", [] { throw PlatformError("Could not create the folder", "/h/.tovren/tools", "Not a directory"); },
       "Could not create the folder \"/h/.tovren/tools\": Not a directory."},
      {"out of memory", [] { throw std::bad_alloc(); }, "There was not enough memory to finish setup."},
      {"not an exception", [] { throw 42; }, "Setup stopped because of an unexpected error."},
  };
  for (const auto& c : cases) {
    ScriptedApplication app;
    EXPECT_EQ(exitStatusOf(app, c.setup), 1) << c.name;
    EXPECT_EQ(app.calls, (std::vector<std::string>{"activate", "alert"})) << c.name;
    ASSERT_EQ(app.alerts.size(), 1u);
    EXPECT_EQ(app.alerts[0].messageText, "TOVREN could not finish setup");
    EXPECT_EQ(app.alerts[0].informativeText, c.body) << c.name;
    EXPECT_EQ(app.alerts[0].buttons, std::vector<std::string>{"OK"});
  }
}

TEST(Entry, AFailingAlertStillEndsWithStatusOne) {
  struct BrokenApplication : ScriptedApplication {
    int runModal(const Alert&) override { throw std::bad_alloc(); }
  } app;
  EXPECT_EQ(exitStatusOf(app, [] { throw SetupFailure("x"); }), 1);
}

}  // namespace
}  // namespace tovren
