#pragma once
// The program's outcome: an exit status, and the failure alert when setup fails.

#include <functional>

#include "platform/application.h"

namespace tovren {

// Runs `setup` once. Returns 0 when it returns; when it raises, brings the program
// to the front, shows the failure alert with the error's description and returns 1.
int enter(Application& app, const std::function<void()>& setup);

}  // namespace tovren
