#pragma once
// The program's outcome: an exit status, and the failure alert when setup fails.

#include <exception>
#include <functional>
#include <string>

#include "platform/application.h"

namespace tovren {

// The user-facing description of a raised error: a SetupFailure's message, a
// platform error's own description, and a readable sentence for anything else.
std::string describe(std::exception_ptr error);

// Runs `setup` once. Returns 0 when it returns; when it raises, brings the program
// to the front, shows the failure alert with the error's description and returns 1.
int enter(Application& app, const std::function<void()>& setup);

}  // namespace tovren
