#include "install/failure_message.h"

#include "install/readable.h"
#include "platform/clusters.h"
#include "support/text.h"

namespace tovren {

namespace {

// Only the log's end is read, however much the children wrote: a window that
// holds the tail with room to spare, grown for unusually long characters.
constexpr std::size_t firstWindow = 64 << 10;
constexpr std::size_t lastWindow = 4 << 20;
// Characters are cut the same as in the whole log when the tail starts this far
// into the window: no character spans as much.
constexpr std::size_t margin = 1 << 10;

}  // namespace

std::string logTail(FileManager& files, const Location& setupLog) {
  for (std::size_t window = firstWindow;; window *= 8) {
    std::optional<FileContent> end = ifReadable([&] { return files.readEnd(setupLog, window); });
    if (!end) return "";
    std::string_view bytes(reinterpret_cast<const char*>(end->data()), end->size());
    bool whole = end->size() < window;
    // Whatever its bytes, the log's end is shown: a piece that is not UTF-8 as U+FFFD.
    std::string text = asUtf8(whole ? withoutByteOrderMark(bytes) : bytes);
    std::string tail = lastCharacters(text, logTailLength);
    if (whole || text.size() - tail.size() >= margin || window >= lastWindow) return tail;
  }
}

std::string failureMessage(const std::string& description, FileManager& files,
                           const Location& setupLog) {
  return description + "\n\n" + logTail(files, setupLog) + "\nSetup log: " + setupLog.path();
}

}  // namespace tovren
