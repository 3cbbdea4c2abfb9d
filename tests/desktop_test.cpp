// The consent prompt and the failure alert as desktop dialogs under a virtual X
// server, driven with xdotool; screenshots land in build/test-outputs.

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

#include "tests/test.h"

namespace tovren::testing {
namespace {

// An X server's door as ssh -X keeps it on the remote host: at 127.0.0.1, port
// 6000 + `number`, it passes a connection on to the server at `socket` only when
// it brings `cookie`, which it keeps to itself, and refuses any other, as ssh
// does with "X11 connection rejected because of wrong authentication."
struct CookieCheckingDoor {
  CookieCheckingDoor(const std::string& socket, const std::string& cookie)
      : listening(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET, address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    do address.sin_port = htons(static_cast<std::uint16_t>(6000 + ++number));
    while (::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0);
    ::listen(listening, 8);
    acceptor = std::thread([=, refused = refused, listening = listening] {
      for (int client; (client = ::accept(listening, nullptr, nullptr)) >= 0;)
        std::thread([=] { pass(client, socket, cookie, *refused); }).detach();
    });
  }
  ~CookieCheckingDoor() { ::shutdown(listening, SHUT_RDWR), acceptor.join(), ::close(listening); }

  // Reads the client's opening and its cookie; then copies both ways until one side closes.
  static void pass(int client, const std::string& socket, const std::string& cookie,
                   std::atomic<int>& refused) {
    auto take = [&](std::size_t size) {
      std::string bytes(size, '\0');
      return ::recv(client, bytes.data(), size, MSG_WAITALL) == ssize_t(size) ? bytes : "";
    };
    std::string opening = take(12);
    auto field = [&](int at) {
      std::size_t size =
          opening.empty() ? 0 : std::uint8_t(opening[at]) | std::uint8_t(opening[at + 1]) << 8;
      return take((size + 3) / 4 * 4).substr(0, size);
    };
    std::string name = field(6), data = field(8);
    sockaddr_un address{AF_UNIX, {}};
    socket.copy(address.sun_path, sizeof address.sun_path - 1);
    int server = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    bool open = name == "MIT-MAGIC-COOKIE-1" && data == cookie &&
                ::connect(server, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
    refused += !open;
    if (open)  // with no authorisation passed on
      opening.replace(6, 4, 4, '\0'), open = ::send(server, opening.data(), 12, MSG_NOSIGNAL) == 12;
    for (pollfd ends[] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
         open && ::poll(ends, 2, -1) > 0;)
      for (int i = 0; i < 2 && open; ++i) {
        char buffer[4096];
        ssize_t n = ends[i].revents ? ::recv(ends[i].fd, buffer, sizeof buffer, 0) : 0;
        open = !ends[i].revents || (n > 0 && ::send(ends[1 - i].fd, buffer, n, MSG_NOSIGNAL) == n);
      }
    ::close(client), ::close(server);
  }

  int number = 49;  // the display's
  std::shared_ptr<std::atomic<int>> refused = std::make_shared<std::atomic<int>>(0);
  int listening;
  std::thread acceptor;
};

// Each run has a session bus and no runtime folder, where the toolkit would make
// its folders in the home; a request to stop closes any dialog.
TEST(Desktop, DialogsAnswerWithTheirButtonsAndKeys) {
  for (const char* tool : {"Xvfb", "xdotool", "import", "convert", "dbus-daemon"})
    if (!fs::exists(std::string("/usr/bin/") + tool)) GTEST_SKIP() << tool << " is not installed";
  int number = 90 + getpid() % 100;  // a display no other server holds
  while (fs::exists("/tmp/.X" + std::to_string(number) + "-lock")) ++number;
  const std::string display = ":" + std::to_string(number),
                    outputs = TOVREN_BUILD_DIR "/test-outputs/";
  Running server({"/usr/bin/Xvfb", {display, "-screen", "0", "1024x768x24", "-nolisten", "tcp"}});
  // Waits for `path` to appear, as a server makes its socket.
  auto appear = [](const std::string& path) {
    for (int i = 0; i < 100 && !fs::exists(path); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  appear("/tmp/.X11-unix/X" + display.substr(1));
  TemporaryFolder sockets;
  auto shell = [&](const std::string& command) {
    return runProgram({"/usr/bin/timeout", {"20", "sh", "-c", command}, {{"DISPLAY", display}}});
  };
  // Waits for the dialog titled `title`; with a `name`, saves the screen as
  // NAME.png and checks that it is not blank. Then does `action` to the focused
  // dialog until it closes: a key pressed while it is still being set up is lost.
  auto answer = [&](const std::string& title, const std::string& action,
                    const std::string& name = "") {
    auto search = [&](const std::string& options) {
      return "xdotool search " + options + " --onlyvisible --name '^" + title + "$'";
    };
    EXPECT_EQ(shell(search("--sync") + " && sleep 0.3").status, 0) << "no dialog " << title;
    if (!name.empty()) {
      fs::create_directories(outputs);
      Outcome spread = shell("import -window root " + outputs + name + ".png && convert " +
                             outputs + name + ".png -format '%[fx:standard_deviation]' info: >&2");
      EXPECT_GT(std::atof(spread.errorOutput.c_str()), 0.05) << name << " looks blank";
    }
    std::string tries = "for try in 1 2 3 4 5; do " + search("") +
                        " windowfocus --sync >/dev/null 2>&1 || exit 0; " + action +
                        "; sleep 1; done; exit 1";
    EXPECT_EQ(shell(tries).status, 0) << action << " does not close " << title;
  };
  TemporaryFolder damaged;
  fs::copy(mainBundle, damaged.path("TOVREN.app"), fs::copy_options::recursive);
  writeFile(damaged.path("TOVREN.app/Contents/Resources/" + archiveName), "PK damaged");
  // No window manager places the dialog: it sits at the corner, and Cancel is the
  // right half of its bottom row.
  const std::string cancel =
      "eval $(xdotool search --onlyvisible --name '^Set up TOVREN on this Mac$' getwindowgeometry "
      "--shell) && "
      "xdotool mousemove $((WIDTH * 3 / 4)) $((HEIGHT - 12)) click 1";
  // A German locale of its own, which the toolkit would switch the program to.
  TemporaryFolder locales;
  ASSERT_EQ(runProgram(
                {"/usr/bin/localedef", {"-i", "de_DE", "-f", "UTF-8", locales.path("de_DE.UTF-8")}})
                .status,
            0);
  const std::string damagedSetup = damaged.path("TOVREN.app/Contents/MacOS/tovren-setup");
  const int interrupted = 128 + SIGTERM;
  // The display as ssh -X forwards it, with the cookie it checks in the user's
  // authority file, as ssh puts it there.
  const std::string cookie = "0123456789abcdef";
  CookieCheckingDoor door("/tmp/.X11-unix/X" + display.substr(1), cookie);
  TemporaryFolder authority;
  std::string hex;
  for (unsigned char c : cookie)
    hex += "0123456789abcdef"[c >> 4], hex += "0123456789abcdef"[c & 15];
  ASSERT_EQ(runProgram({"/usr/bin/xauth",
                        {"-f", authority.path("cookies"), "add",
                         "unix:" + std::to_string(door.number), "MIT-MAGIC-COOKIE-1", hex}})
                .status,
            0);
  struct Case {
    std::string answer, program;  // to the consent dialog
    int status;
    bool installed;
    std::string wayland = "";  // a Wayland display also named, which cannot be opened
    std::string shown = "";    // the display the program is given, where not the server's
  } cases[] = {{"xdotool key Return", setupProgram(), 0, true, "tovren-no-such-display"},
               {"xdotool key Return", setupProgram(), 0, true, "",
                "localhost:" + std::to_string(door.number)},
               {"xdotool key Escape", setupProgram(), 0, false},
               {cancel, setupProgram(), 0, false},
               {"xdotool key Return", damagedSetup, 1, false},
               {"xdotool key Return", damagedSetup, interrupted, false},  // while the alert waits
               {"xdotool key Return", setupProgram("console-waits"), interrupted, false}};
  for (const auto& c : cases) {
    Home home;
    // The session's bus, whose services would write in the home it was started with;
    // its address takes a space as %20.
    const std::string socket = sockets.path("bus-" + std::to_string(&c - cases));
    std::string bus = "unix:path=" + socket;
    bus.replace(bus.find(' '), 1, "%20");
    Running session({"/usr/bin/dbus-daemon",
                     {"--session", "--nofork", "--address=" + bus},
                     {{"HOME", home.path()}, {"XDG_RUNTIME_DIR", ""}}});
    appear(socket);
    Running program({"/usr/bin/timeout",
                     {"60", c.program},
                     {{"HOME", home.path()},
                      {"DBUS_SESSION_BUS_ADDRESS", bus},
                      {"DISPLAY", c.shown.empty() ? display : c.shown},
                      {"XAUTHORITY", authority.path("cookies")},
                      {"WAYLAND_DISPLAY", c.wayland},
                      {"XDG_RUNTIME_DIR", ""},
                      {"LANG", "de_DE.UTF-8"},
                      {"LOCPATH", locales.path()}}});
    answer("Set up TOVREN on this Mac", c.answer, c.installed ? "consent-dialog" : "");
    if (c.status == 1) answer(alertTitle, "xdotool key Return", "failure-alert");
    if (c.status == interrupted && c.program == damagedSetup) {
      shell("xdotool search --sync --onlyvisible --name '^" + alertTitle + "$'");
    } else if (c.status == interrupted) {  // the console has the environment the program had
      std::string console = home.waitingConsole();
      EXPECT_EQ(contentOf("/proc/" + console + "/environ").find("NO_AT_BRIDGE"), std::string::npos);
    }
    if (c.status == interrupted) program.signal(SIGTERM);
    Outcome outcome = program.wait();
    EXPECT_EQ(outcome.status, c.status) << c.answer;
    if (c.status == interrupted)  // in the program's own words, after the dialog too
      EXPECT_EQ(outcome.errorOutput, "Setup was interrupted by signal 15 (Terminated).\n");
    else
      EXPECT_EQ(contentOf(home.console()), c.installed ? shippedConsole() : "") << c.answer;
    EXPECT_EQ(snapshot(home.path()).empty(), c.status == 0 && !c.installed) << c.answer;
  }
  EXPECT_EQ(*door.refused, 0) << "X11 connection rejected because of wrong authentication.";
  // A display that takes a connection and never answers (a stopped X server, a
  // Wayland socket nobody serves) counts as none: the terminal prompt follows.
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  sockets.path("wayland-0").copy(address.sun_path, sizeof address.sun_path - 1);
  int listening = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(listening, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  ::listen(listening, 8);
  server.signal(SIGSTOP);
  for (auto [variable, value] :
       {std::pair{"DISPLAY", display}, {"WAYLAND_DISPLAY", sockets.path("wayland-0")}}) {
    Home home;
    Outcome outcome = runProgram({"/usr/bin/timeout",
                                  {"--foreground", "20", setupProgram()},
                                  {{"HOME", home.path()}, {variable, value}},
                                  "2\n"});
    EXPECT_EQ(outcome.status, 0) << variable;
    EXPECT_TRUE(outcome.terminal.ends_with("Choose a number (Return for 1): ")) << outcome.terminal;
  }
  server.signal(SIGCONT);
  ::close(listening);
}

}  // namespace
}  // namespace tovren::testing
