// The built program as a user runs it, on a terminal and without one.

#include <sys/utsname.h>

#include <cstring>

#include "tests/test.h"

namespace tovren::testing {
namespace {

const std::string choose = "\n\n1) Set up\n2) Cancel\nChoose a number (Return for 1): ";
const std::string firstPrompt =
    "\nSet up TOVREN on this Mac\n\nThen connect your Quillet, scan and enter your purchase key. "
    "Your tools "
    "connect automatically. You can turn off automatic startup in Help." +
    choose;
const std::string updatePrompt =
    "\nUpdate TOVREN on this Mac\n\nThis replaces the background program. Your current connection "
    "will end "
    "and need a new scan. Saved configurations and purchase keys are kept.\n\n1) Update\n2) "
    "Cancel\n"
    "Choose a number (Return for 1): ";

TEST(EndToEnd, EachProcessorRowInstallsItsConsoleWhichRegistersItselfThenRepeatsQuietly) {
  // Unforced, the main bundle (which every other proof runs) takes the row of the
  // processor it runs on.
  utsname machine{};
  ::uname(&machine);
  EXPECT_EQ(rowName, std::string(machine.machine) == "x86_64" ? "amd64" : "arm64");
  for (std::string row : {"arm64", "amd64"}) {
    Home home;
    std::string program = setupProgram(row + "-row"),
                console = home.tools("console-" + version + "-" + row);
    // Return chooses the first button. The second row is started as a launcher
    // that ignores SIGCHLD starts it: its children are still waited for.
    Outcome first = row == "arm64" ? home.run({}, "\n", program)
                                   : runProgram({"/bin/bash",
                                                 {"-c", "trap '' CHLD; exec \"$0\"", program},
                                                 {{"HOME", home.path()}},
                                                 "1\n"});
    EXPECT_EQ(first.status, 0);
    EXPECT_EQ(first.terminal, firstPrompt);
    EXPECT_EQ(contentOf(console), shippedConsole(row));
    std::string plist = contentOf(home.path(launchAgent));
    EXPECT_NE(plist.find("<string>" + console + "</string>"), std::string::npos) << plist;
    EXPECT_NE(plist.find("<string>" + marker + version + "-" + row + "</string>"),
              std::string::npos)
        << plist;
    // Asks nothing, so needs no terminal, and loads no desktop toolkit although a
    // display is named: it costs the same with a display as without one.
    TemporaryFolder logs;
#ifdef TOVREN_SHIM
    auto environment = shimmed("libgtk:/", logs.path("log"));  // by its name or its path
    environment["DISPLAY"] = ":3999";
#else
    std::map<std::string, std::string> environment;  // without the shim, only the outcome
#endif
    Outcome again = home.run(environment, std::nullopt, program);
    EXPECT_EQ(again.status, 0) << again.errorOutput;
    std::istringstream log(contentOf(logs.path("log")));
    for (std::string line; std::getline(log, line);)
      EXPECT_TRUE(line.find("dlopen") == std::string::npos || line.find("gtk") == std::string::npos)
          << line;
    EXPECT_EQ(contentOf(home.tools("setup.log")),
              "tovren " + version + " (" + row + "): wrote " + home.path(launchAgent) + "\n");
  }
}

// The sample console of the console's contract, built as a vendor builds it: the
// first version is set up, a second run asks nothing, the next version asks for
// an update once and its console replaces the older one. A console that names
// another version in its list succeeds, and the log says why every run asks.
TEST(EndToEnd, TheSampleVendorConsoleIsSetUpOnceAndUpdatedOnce) {
  Home home;
  for (auto [sample, shown] :
       {std::pair{"1.4.2", firstPrompt}, {"1.4.2", ""}, {"1.5.0", updatePrompt}, {"1.5.0", ""}}) {
    Outcome outcome = home.run({}, "\n", setupProgram("sample-" + std::string(sample)));
    EXPECT_EQ(outcome.status, 0) << sample << outcome.terminal;
    EXPECT_EQ(outcome.terminal, shown) << sample;
    EXPECT_EQ(home.count("console-"), 1) << sample;
    EXPECT_EQ(contentOf(home.tools("setup.log")).rfind("TOVREN console " + std::string(sample), 0),
              0u);
    EXPECT_TRUE(fs::exists(home.tools("console-" + std::string(sample) + "-" + rowName)));
  }
  for (int run = 0; run < 2; ++run) {
    Outcome stale = home.run({}, "\n", setupProgram("console-stale"));
    EXPECT_EQ(std::pair(stale.status, stale.terminal), std::pair(0, updatePrompt));
    EXPECT_EQ(contentOf(home.tools("setup.log")),
              "setup: " + consoleName + " ended with status 0 but " + home.path(launchAgent) +
                  " holds no \"" + marker + version + "-\" followed by an architecture, as in \"" +
                  marker + version + "-" + rowName +
                  "\", so the next run of setup will ask again.\n");
  }
}

// Also where a display is named that cannot be opened: the alerts fall back. CR,
// LF and CR LF each end one answer, whatever the terminal translates, and the
// terminal may be at any descriptor. Ctrl-C at the prompt ends the run at once,
// with its one line, by the signal, so a shell's loop stops too; so does a
// request to stop while the terminal's output is held (Ctrl-S), which loses the line.
TEST(EndToEnd, DeclinedInterruptedOrUnaskableConsentLeavesTheHomeAsItWas) {
  const std::string number = "Choose a number (Return for 1): ",
                    interrupted = "Setup was interrupted by signal 2 (Interrupt).\n";
  struct Case {
    std::optional<std::string> typed, plist;
    std::string shown, typeAt = "";
    std::string shell = "exec \"$0\"";  // how it is started
    int endedBy = 0;                    // and by which signal it ends
  } cases[] = {{"2\n", {}, firstPrompt},
               {"\x04", {}, firstPrompt + "\n"},
               {"x\n2\n", {}, firstPrompt + number},
               {"x\r\n2\r\n", {}, firstPrompt + number, number},
               {"2\r", {}, firstPrompt, number, "stty -icrnl; exec \"$0\""},
               {"2\n",
                {},
                firstPrompt,
                number,
                "ulimit -n 2048 && for i in $(seq 3 1100); do eval \"exec $i</dev/null\"; done; "
                "exec \"$0\""},
               {"2\n", marker + "0.0.1-", updatePrompt},
               {"", {}, firstPrompt + interrupted, number, "exec \"$0\"", SIGINT},
               {"", {}, firstPrompt + interrupted, number, "for i in 1 2; do \"$0\"; done", SIGINT},
               {"", {}, firstPrompt + interrupted, number, blockedAtStart, SIGINT},
               {"\x13", {}, "", "", "(sleep 0.5; kill $$) & exec \"$0\"", SIGTERM},
               {{}, {}, "Set up TOVREN on this Mac\n\nThen connect your Quillet"}};
  for (const auto& c : cases) {
    Home home;
    if (c.plist) home.plist(*c.plist);
    std::string before = snapshot(home.path());
    Outcome outcome = runProgram({"/bin/bash",
                                  {"-c", c.shell, setupProgram()},
                                  {{"DISPLAY", ":3999"}, {"HOME", home.path()}},
                                  c.typed,
                                  {},
                                  {},
                                  c.typeAt});
    EXPECT_EQ(std::pair(outcome.status, outcome.endedBy),
              std::pair(c.endedBy ? 128 + c.endedBy : 0, c.endedBy))
        << c.shell;
    EXPECT_EQ(snapshot(home.path()), before) << c.shell;
    EXPECT_TRUE((c.typed ? outcome.terminal : outcome.errorOutput).starts_with(c.shown))
        << outcome.terminal << outcome.errorOutput;
    EXPECT_EQ(outcome.terminal.size(), c.typed ? c.shown.size() : 0);
  }
}

// A manifest that does not decode is reported before anything is read or written;
// command-line arguments change nothing.
TEST(EndToEnd, ManifestThatDoesNotDecodeEndsInTheAlertWithStatusOne) {
  for (auto [bundle, arguments, body] :
       {std::tuple{"without-version", std::vector<std::string>{"-x", "-k", "/", "/tmp"},
                   "could not be read: the top level has no member \"version\""},
        {"not-base64", {"--help"}, "built into this program is damaged: it is not valid Base64"}}) {
    Home home;
    Outcome outcome = runProgram({setupProgram(bundle), arguments, {{"HOME", home.path()}}});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(outcome.errorOutput, alertTitle + "\n\nThe setup manifest " + body + ".\n");
    EXPECT_EQ(snapshot(home.path()), "");
  }
}

// Every way of showing the alert shows the whole message: the log's control
// characters as visible pictures, and the tail even where ICU cannot be loaded.
TEST(EndToEnd, FailingConsoleShowsItsExitAndItsOwnOutput) {
  TemporaryFolder logs;
  for (auto [typed, environment] :
       {std::pair{std::optional<std::string>("\n"), std::map<std::string, std::string>{}},
        {{}, {}},
#ifdef TOVREN_SHIM
        {{}, shimmed("libicuuc", logs.path("log"), 1, "fail")}
#endif
       }) {
    Home home;
    home.plist();
    Outcome outcome = home.run(environment, typed, setupProgram("console-exits-3"));
    std::string message = alertTitle +
                          "\n\nSetup stopped (exit 3).\n\nconsole: cannot reach the session "
                          "service\u2400\u241b[2J\n\n"
                          "Setup log: " +
                          home.tools("setup.log") + "\n";
    EXPECT_EQ(outcome.status, 1);
    EXPECT_EQ(typed ? outcome.terminal : outcome.errorOutput,
              typed ? "\n" + message + "\n1) OK\nPress Return: " : message);
  }
  // A folder or a fifo where its property list goes: the console refuses, says
  // why, and leaves it as it is.
  for (bool fifo : {false, true}) {
    Home home;
    fs::create_directories(home.path(fifo ? "Library/LaunchAgents" : launchAgent));
    if (fifo) ::mkfifo(home.path(launchAgent).c_str(), 0600);
    Outcome refused = home.run();
    EXPECT_EQ(refused.status, 1);
    EXPECT_NE(refused.terminal.find("Setup stopped (exit 1).\n\ntovren: cannot register: " +
                                    home.path(launchAgent) + " is not a file\n"),
              std::string::npos)
        << refused.terminal;
    EXPECT_TRUE(fifo ? fs::is_fifo(home.path(launchAgent))
                     : fs::is_directory(home.path(launchAgent)));
  }
  // Ctrl-C while the alert waits ends the run at once, with its one line.
  Home home;
  home.plist();
  Outcome stopped = runProgram(
      {setupProgram("console-exits-3"), {}, {{"HOME", home.path()}}, "", {}, {}, "Press Return: "});
  EXPECT_EQ(stopped.status, 128 + SIGINT);
  EXPECT_TRUE(
      stopped.terminal.ends_with("Press Return: Setup was interrupted by signal 2 (Interrupt).\n"))
      << stopped.terminal;
  TOVREN_LINUX_ONLY("refuses ICU to the program through the preload shim");
  EXPECT_TRUE(contentOf(logs.path("log")).starts_with("1 dlopen "))
      << "ICU was asked for, and refused";
}

// As a user other than root, under a umask that takes even the owner's bits:
// every folder made gets its mode before anything is made in it; what
// interrupted runs left is removed, a read-only folder in it too, and one the
// user cannot remove (root's) is left without failing the run; a folder on the
// way that the user cannot search is left to the step that needs it, which says
// why.
TEST(EndToEnd, AUserOtherThanRootRemovesLeftoversAndNamesAFolderItCannotSearch) {
  TOVREN_LINUX_ONLY("becomes another user with setpriv");
  if (::geteuid() != 0) TOVREN_CANNOT_PROVE_HERE("only root can run setup as another user");
  const std::string left = ".setup-01234567-89AB-CDEF-0123-456789ABCDEF/read-only",
                    roots = ".setup-FEDCBA98-7654-3210-FEDC-BA9876543210";
  struct Case {
    const char* name;
    std::function<void(const Home&)> arrange;
    std::string said;  // in the alert; none for a run that succeeds
    int left = 0;      // leftovers that stay
  } cases[] = {
      {"nothing there yet", [](const Home&) {}, ""},
      {"a staging folder left with a read-only folder in it",
       [&](const Home& home) {
         fs::create_directories(home.tools(left)), writeFile(home.tools(left + "/tovren"), "x"),
             fs::permissions(home.tools(left), fs::perms(0555));
       },
       ""},
      {"a staging folder left by root, which the user cannot empty",
       [&](const Home& home) {
         fs::create_directories(home.tools(roots)), writeFile(home.tools(roots + "/tovren"), "x");
       },
       "", 1},
      {"a folder on the way that the user cannot search",
       [](const Home& home) {
         fs::create_directories(home.path(".tovren")),
             fs::permissions(home.path(".tovren"), fs::perms(0600));
       },
       "Could not create the folder \"TOOLS\": Permission denied."},
  };
  for (const auto& c : cases) {
    Home home;
    home.plist();
    c.arrange(home);
    ASSERT_EQ(runProgram({"/bin/chown", {"-R", "54321:54321", home.path()}}).status, 0);
    if (c.left) {
      ASSERT_EQ(::chown(home.tools(roots).c_str(), 0, 0), 0);
    }
    auto run = [&] {
      mode_t umask = ::umask(0777);
      Outcome outcome =
          runProgram({"/usr/bin/setpriv",
                      {"--reuid=54321", "--regid=54321", "--clear-groups", setupProgram()},
                      {{"HOME", home.path()}},
                      "\n"});
      ::umask(umask);
      return outcome;
    };
    bool made = !fs::exists(home.path(".tovren"));
    Outcome outcome = run();
    std::string said = home.withTools(c.said);
    EXPECT_EQ(outcome.status, said.empty() ? 0 : 1) << c.name << outcome.terminal;
    EXPECT_NE(outcome.terminal.find(said), std::string::npos) << c.name << outcome.terminal;
    if (!said.empty()) continue;
    EXPECT_EQ(home.count("."), c.left) << c.name << ": leftovers";
    EXPECT_TRUE(!made || (modeOf(home.path(".tovren")) == 0700 && modeOf(home.tools()) == 0700))
        << c.name;
    // The console's list is read back: nothing is asked.
    EXPECT_EQ(run().terminal, "") << c.name;
  }
}

// A disk that is full, or has no room for another file, at each step: the alert
// names the disk and its free space, even where the child's own words could not
// be written to the log on it; nothing is half installed, and with room the next
// run succeeds.
TEST(EndToEnd, AFullDiskIsNamedAtEveryStepAndTheNextRunWithRoomSucceeds) {
  const std::string noFiles = "1.0 MB free and room for no more files", noBytes = "0 bytes free";
  struct Case {
    std::string mount, free,
        said;                // said: what follows the disk's sentence, TOOLS for the tools folder
    std::size_t filler = 0;  // bytes taken before the run
    std::string bundle = "";
  } cases[] = {
      {"nr_inodes=1", noFiles, "Could not create the folder \"TOOLS\": No space left on device."},
      {"nr_inodes=3", noFiles, "Could not write \"TOOLS/setup.log\": No space left on device."},
      {"nr_inodes=4", noFiles, "Could not create the folder \"TOOLS/.setup-"},
      {"nr_inodes=5,size=4m", "4.2 MB free and room for no more files",
       "Setup stopped (exit 1).\n\nditto: " + mainBundle + "/Contents/Resources/" + archiveName +
           ": it unpacks to 1 file"},
      {"nr_inodes=6", noFiles,
       "Could not write \"TOOLS/" + consoleName + "\": No space left on device."},
      {"nr_inodes=7", noFiles,
       "Setup stopped (exit 2).\n\n"},  // the console could not register itself
      {"size=4k", noBytes, "Setup stopped (exit 1).\n\n\nSetup log: TOOLS/setup.log",
       4096},  // the unpacker's words lost
      {"size=8k", noBytes,
       "Setup stopped (exit 1).\n\n\nSetup log: TOOLS/setup.log"},  // the console's lost
      // Room for files and some bytes, under a mebibyte: whatever the child's failure, it
      // may have been for room.
      {"nr_inodes=100", "426.0 KB free", "Setup stopped (exit 3).\n\nconsole: cannot reach",
       600 << 10, "console-exits-3"},
  };
  for (const auto& c : cases) {
    Home home;
    SmallDisk disk(home.path(), "size=1m," + c.mount, c.mount);
    if (!disk.mounted()) TOVREN_CANNOT_PROVE_HERE("no small disk can be mounted (not root?)");
    if (c.filler) writeFile(home.path("filler"), std::string(c.filler, 'x'));
    Outcome full = home.run({}, "1\n\n", setupProgram(c.bundle));
    std::string said = home.withTools("The disk that holds TOOLS is full: it has " + c.free +
                                      ". Make room on it, then run setup again.\n" + c.said);
    EXPECT_EQ(full.status, 1) << c.mount;
    EXPECT_NE(full.terminal.find(said), std::string::npos) << c.mount << full.terminal;
    EXPECT_TRUE(!fs::exists(home.console()) || contentOf(home.console()) == shippedConsole() ||
                !c.bundle.empty())  // that bundle's own console, whole
        << c.mount;
    EXPECT_EQ(home.count("."), 0) << c.mount << ": a staging folder or temporary file is left";
    disk.remount("size=1m,nr_inodes=100"), fs::remove(home.path("filler"));
    EXPECT_EQ(home.run().status, 0) << c.mount;
    EXPECT_EQ(contentOf(home.console()), shippedConsole()) << c.mount;
  }
#ifdef TOVREN_SHIM
  // A home over its quota, which the free space does not show: the system says so at
  // the console's write; a child fails where a mebibyte or a file cannot be reserved.
  struct Quota {
    std::string scope, bundle;
    long at;
    std::string said;  // TOOLS for the tools folder
  } quotas[] = {
      {"." + consoleName, "", 1,
       "Could not write \"TOOLS/" + consoleName + "\": " + std::strerror(EDQUOT) + "."},
      {".space", "console-exits-3", 1, "Setup stopped (exit 3)."},  // its file
      {".space", "console-exits-3", 3, "Setup stopped (exit 3)."},  // its room
  };
  for (const auto& q : quotas) {
    Home home;
    TemporaryFolder logs;
    auto environment = shimmed(home.tools(q.scope), logs.path("log"), q.at, "fail");
    environment["TOVREN_SHIM_ERRNO"] = std::to_string(EDQUOT);
    Outcome over = home.run(environment, "1\n\n", setupProgram(q.bundle));
    std::string said = home.withTools(
        "Your quota on the disk that holds TOOLS is used up. Make room in your files there, then "
        "run setup again.\n" +
        q.said);
    EXPECT_EQ(over.status, 1);
    EXPECT_NE(over.terminal.find(said), std::string::npos) << q.at << over.terminal;
    EXPECT_EQ(home.count("."), 0) << q.at << ": the reservation is left";
  }
#endif
}

// The limits a session sets, a system without the null device, and a standard
// error nobody reads: one clear alert where it can be read, status 1, and nothing
// left behind. A write past the file-size limit, the unpacker's or this program's
// own, names the limit. A CPU-time limit reached is a request to stop: its line,
// status 152, and no core file, as the program exits.
TEST(EndToEnd, TheLimitsOfASessionEndInOneClearAlertAndLeaveNothingBehind) {
  const std::string limit =
      " is too small for the files setup writes. Raise it (ulimit -f), then run setup again.\n";
  // A bundle whose archive, sparse, takes seconds of CPU time to hash.
  TemporaryFolder huge;
  fs::copy(mainBundle, huge.path("TOVREN.app"), fs::copy_options::recursive);
  fs::resize_file(huge.path("TOVREN.app/Contents/Resources/" + archiveName),
                  std::uintmax_t{1} << 36);
  struct Case {
    const char* name;
    std::map<int, rlim_t> limits;
    std::string said;  // in the alert, TOOLS for the tools folder; none where it cannot be read
    std::string shell = "";                               // how the program is started, as "$0"
    std::map<std::string, std::string> environment = {};  // the shim's
    int status = 1;
  } cases[] = {
      {"a CPU-time limit reached while hashing",
       {},
       "Setup was interrupted by signal 24 (" + std::string(::strsignal(SIGXCPU)) + ").\n",
       "ulimit -St 1; exec \"" + huge.path("TOVREN.app/Contents/MacOS/tovren-setup") + "\"",
       {},
       128 + SIGXCPU},
      {"no null device",
       {},
       "Could not open the null device \"/dev/null\": No such file or directory.",
       "unshare -m sh -c 'mount -t tmpfs none /dev && exec \"$0\"' \"$0\""},
      {"no file may have a byte",
       {{RLIMIT_FSIZE, 0}},
       "The file-size limit set for this program (0 bytes)" + limit +
           "Setup stopped (exit 153).\nditto was ended by signal 25 (" + ::strsignal(SIGXFSZ) +
           ")."},
#ifdef TOVREN_SHIM
      {"the console's write is too large",
       {{RLIMIT_FSIZE, rlim_t{1} << 30}},
       "The file-size limit set for this program (1.1 GB)" + limit + "Could not write \"TOOLS/" +
           consoleName + "\": " + std::strerror(EFBIG) + ".",
       "",
       {{"TOVREN_SHIM_ERRNO", std::to_string(EFBIG)}}},
#endif
#ifndef TOVREN_SANITIZED  // whose checks need descriptors of their own
      // Without a terminal, whose descriptor would leave too few to make the staging folder.
      {"six descriptors: the console cannot start its shell",
       {{RLIMIT_NOFILE, 6}},
       "Setup stopped",
       "exec \"$0\" </dev/null"},
#endif
      // Met only by the program's own write: its reservation of room when the console failed.
      {"a limit the program itself meets",
       {{RLIMIT_FSIZE, 64 << 10}},
       "Setup stopped (exit 3).\n\nconsole: cannot reach the session service",
       "exec \"$0\""},
      {"standard error a pipe whose reader is gone",
       {},
       "",
       "\"$0\" 2>&1 | true; exit ${PIPESTATUS[0]}"},
      {"standard error closed", {}, "", "exec \"$0\" 2>&-"},
  };
  for (const auto& c : cases) {
    if (c.shell.starts_with("unshare") && ::geteuid() != 0) {
      std::cout << "[ skipped  ] " << c.name << ": only root can make a mount namespace here\n";
      continue;
    }
    Home home;
    home.plist();
    TemporaryFolder logs;
    auto environment = c.environment;
#ifdef TOVREN_SHIM
    if (!environment.empty()) {
      environment.merge(shimmed(home.tools("." + consoleName), logs.path("log"), 1, "fail"));
    }
#endif
    environment["HOME"] = home.path();
    std::string program = setupProgram(c.shell.empty() ? "" : "console-exits-3");
    // On a terminal, which no file-size limit reaches.
    Outcome outcome =
        c.shell.empty()
            ? runProgram({program, {}, environment, "\n", {}, c.limits})
            : runProgram(
                  {"/bin/bash", {"-c", c.shell, program}, environment, std::nullopt, {}, c.limits});
    EXPECT_EQ(std::pair(outcome.status, outcome.endedBy), std::pair(c.status, 0))
        << c.name << outcome.errorOutput;
    std::string shown = outcome.terminal + outcome.errorOutput;
    EXPECT_NE(shown.find(home.withTools(c.said)), std::string::npos) << c.name << shown;
    EXPECT_EQ(home.count("."), 0) << c.name << ": a staging folder or temporary file is left";
  }
}

}  // namespace
}  // namespace tovren::testing
