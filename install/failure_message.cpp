#include "install/failure_message.h"

#include "platform/text.h"

namespace tovren {

std::string logTail(FileManager& files, const Location& setupLog) {
  try {
    return lastCharacters(readText(files, setupLog, Links::refuse), logTailLength);
  } catch (const std::exception&) {
    return "";
  }
}

std::string failureMessage(const std::string& description, FileManager& files, const Location& setupLog) {
  return description + "\n\n" + logTail(files, setupLog) + "\nSetup log: " + setupLog.path();
}

}  // namespace tovren
