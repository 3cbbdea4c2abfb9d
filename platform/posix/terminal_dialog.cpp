#include "platform/terminal_dialog.h"

#include <fcntl.h>
#include <sys/select.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/file_handle.h"
#include "platform/interruption.h"
#include "platform/posix/descriptors.h"
#include "platform/posix/signals.h"

namespace tovren {

namespace {

std::string layout(const Alert& alert) {
  std::string text = "\n" + alert.messageText + "\n\n" + alert.informativeText + "\n\n";
  for (std::size_t i = 0; i < alert.buttons.size(); ++i)
    text += std::to_string(i + 1) + ") " + alert.buttons[i] + "\n";
  return text;
}

// The response for one typed line, or none when the line chooses nothing.
std::optional<int> choice(const std::string& line, std::size_t buttons) {
  if (line.empty()) return firstButton;
  for (std::size_t i = 0; i < buttons; ++i)
    if (line == std::to_string(i + 1)) return firstButton + static_cast<int>(i);
  return std::nullopt;
}

class TerminalDialog : public Dialog {
 public:
  explicit TerminalDialog(FileHandle terminal) : terminal_(std::move(terminal)) {}

  void bringToFront() override {}

  int run(const Alert& alert) override {
    // A write to a terminal that went away is lost; the reading side then ends too.
    writeAll(terminal_.descriptor(), layout(alert));
    for (;;) {
      writeAll(terminal_.descriptor(),
               alert.buttons.size() > 1 ? "Choose a number (Return for 1): " : "Press Return: ");
      std::optional<std::string> line = readLine();
      if (!line) {
        writeAll(terminal_.descriptor(), "\n");
        return noButton;
      }
      if (auto response = choice(*line, alert.buttons.size())) return *response;
    }
  }

 private:
  // One line without its line feed; none at end of input. A request to stop ends
  // the wait for it with Interrupted.
  std::optional<std::string> readLine() {
    std::string line;
    for (;;) {
      while (!waitForSignal(terminal_.descriptor(), std::nullopt, "Could not read the answer"))
        raiseIfInterrupted();
      char c;
      ssize_t n = ::read(terminal_.descriptor(), &c, 1);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return std::nullopt;
      if (c == '\n') return line;
      if (c != '\r') line += c;
    }
  }

  FileHandle terminal_;
};

}  // namespace

std::unique_ptr<Dialog> openTerminalDialog() {
  FileHandle terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC), "/dev/tty");
  // A wait for the answer takes descriptors below FD_SETSIZE only.
  if (terminal.descriptor() < 0 || terminal.descriptor() >= FD_SETSIZE) return nullptr;
  return std::make_unique<TerminalDialog>(std::move(terminal));
}

}  // namespace tovren
