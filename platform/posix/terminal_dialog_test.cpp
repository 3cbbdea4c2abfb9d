#include "platform/portable/dialog.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// Return chooses the first button, and nothing where there is none.
TEST(TerminalDialog, ReturnChoosesTheFirstButtonOnlyWhereThereIsOne) {
  for (auto [buttons, response] :
       {std::pair{std::vector<std::string>{"OK"}, firstButton}, {{}, noButton}}) {
    int terminal = -1, program = -1;
    ASSERT_EQ(::openpty(&terminal, &program, nullptr, nullptr, nullptr), 0);
    ASSERT_EQ(::write(terminal, "\n", 1), 1);
    EXPECT_EQ(terminalDialog(FileHandle(program, "terminal"))->run(Alert{"Title", "Text", buttons}),
              response);
    ::close(terminal);
  }
}

}  // namespace
}  // namespace tovren::testing
