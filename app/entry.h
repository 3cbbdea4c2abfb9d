#pragma once
// The program's outcome: an exit status, and the failure alert when setup fails.

#include <functional>

#include "platform/application.h"

namespace tovren {

// Runs `setup` once and gives the process's exit status: 0 when it returns; when
// it raises, 1 after bringing the program to the front and showing the failure
// alert with the error's description. Interrupted, in setup or while the alert
// waits, it writes its one line to standard error, waiting half a second at most for
// a reader that holds it back, and gives 128 + the signal's number, which end()
// turns into an end by that signal.
int exitStatusOf(Application& app, const std::function<void()>& setup);

}  // namespace tovren
