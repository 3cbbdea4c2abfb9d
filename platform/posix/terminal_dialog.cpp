#include "platform/dialogs/terminal_dialog.h"

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
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

// While an answer is typed, Return ends a line whatever translation the terminal
// was left with (stty -icrnl, after some full-screen programs, makes it end
// nothing): a carriage return is read as a line feed, as it is shown, and a line
// feed as a carriage return, which also ends a line. So CR, LF and CR LF each end
// one answer, which this dialog tells apart. The modes are set before the alert is
// shown, so an answer typed as soon as it shows is read by them, and the ones the
// terminal had come back when the answer is in, or the wait for it ends.
class AnswerModes {
 public:
  explicit AnswerModes(int terminal) : terminal_(terminal) {
    if (::tcgetattr(terminal, &before_) != 0) return;
    termios modes = before_;
    modes.c_iflag = (modes.c_iflag | ICRNL | INLCR) & ~tcflag_t{IGNCR};
    modes.c_cc[VEOL] = '\r';
    set_ = ::tcsetattr(terminal, TCSANOW, &modes) == 0;
  }
  ~AnswerModes() {
    if (set_) ::tcsetattr(terminal_, TCSANOW, &before_);
  }
  AnswerModes(const AnswerModes&) = delete;
  AnswerModes& operator=(const AnswerModes&) = delete;

  // Whether the terminal shows what is typed: a line feed, shown as a carriage
  // return, then needs its own.
  bool echoes() const { return set_ && (before_.c_lflag & ECHO); }

 private:
  int terminal_;
  termios before_{};
  bool set_ = false;
};

class TerminalDialog : public Dialog {
 public:
  explicit TerminalDialog(FileHandle terminal) : terminal_(std::move(terminal)) {}

  void bringToFront() override {}

  int run(const Alert& alert) override {
    AnswerModes modes(terminal_.descriptor());
    write(layout(alert));
    for (;;) {
      write(alert.buttons.size() > 1 ? "Choose a number (Return for 1): " : "Press Return: ");
      std::optional<std::string> line = readLine(modes.echoes());
      if (!line) {
        write("\n");
        return noButton;
      }
      if (auto response = choice(*line, alert.buttons.size())) return *response;
    }
  }

 private:
  // A terminal whose output is held (Ctrl-S) is waited for only until a request
  // to stop; one that went away takes nothing, and the reading side then ends too.
  void write(std::string_view text) {
    (void)writeWhenReady(terminal_.descriptor(), text, std::nullopt);
  }

  // One line without its end (CR, LF or CR LF), on a terminal that `echoes` what
  // is typed or not; none at end of input. A request to stop ends the wait for it
  // with Interrupted.
  std::optional<std::string> readLine(bool echoes) {
    std::string line;
    for (;;) {
      char c;
      ssize_t n = ::read(terminal_.descriptor(), &c, 1);
      if (n < 0 && errno == EAGAIN) {
        if (!waitForSignal(terminal_.descriptor(), POLLIN, std::nullopt,
                           "Could not read the answer"))
          raiseIfInterrupted();
        continue;
      }
      if (n <= 0) return std::nullopt;
      // The line feed of a CR LF, read as a carriage return, whose carriage return
      // ended the last answer.
      if (std::exchange(afterReturn_, c == '\n') && c == '\r') continue;
      if (c == '\r' && echoes) write("\n");
      if (c == '\n' || c == '\r') return line;
      line += c;
    }
  }

  FileHandle terminal_;
  bool afterReturn_ = false;
};

}  // namespace

std::unique_ptr<Dialog> openTerminalDialog() {
  // Its own open description, which waits for nothing: a terminal whose output is
  // held, or whose answer has not come, is waited for where a request to stop
  // ends the wait.
  FileHandle terminal(::open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK), "/dev/tty");
  if (terminal.descriptor() < 0) return nullptr;
  return std::make_unique<TerminalDialog>(std::move(terminal));
}

}  // namespace tovren
