#pragma once

#include <string>

#include "platform/file_manager.h"

namespace tovren {

// How many user-perceived characters of the setup log a failure message carries.
constexpr std::size_t logTailLength = 1200;

// The last logTailLength characters of the setup log, re-read by its location
// from its end, each piece that is not UTF-8 as U+FFFD; the empty text when it
// cannot be read.
std::string logTail(FileManager& files, const Location& setupLog);

// A failure of the installation as the user reads it: the failure's description,
// two line feeds, the log's tail, a line feed, "Setup log: " and the log's path.
std::string failureMessage(const std::string& description, FileManager& files,
                           const Location& setupLog);

}  // namespace tovren
