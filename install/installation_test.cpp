#include "install/installation.h"

#include <spawn.h>

#include <cstring>
#include <set>

#include "install/digest.h"
#include "install/setup.h"
#include "install/setup_failure.h"
#include "platform/file_manager.h"
#include "platform/processes.h"
#include "support/base64.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

std::string digestOf(const std::string& text) { return digest(Bytes(text.begin(), text.end())); }

// Bytes that differ from their neighbours, so a piece read twice or skipped shows.
std::string bytes(std::size_t size) {
  std::string content(size, '\0');
  for (std::size_t i = 0; i < size; ++i) content[i] = static_cast<char>(i * 131 + 7);
  return content;
}

// One whole setup run in this process, in a home where the version is set up and
// nothing is asked: real files, the real unpacker in a resource folder, an archive
// of a console of the test's, and a manifest made here for them.
struct Rig {
  Rig() {
    home.plist();
    fs::create_directories(home.tools());
    fs::create_directories(home.path("Resources"));
    fs::copy_file(unpacker, home.path("Resources/" + std::string(constants::unpacker)));
    // What a child sees: its folder, arguments, standard input and descriptors,
    // signals ignored or blocked (which bash, unlike dash, passes on), and the
    // tools folder (no staging folder may be left when the console runs).
    console(
        "pwd; printf '[%s]' \"$@\"; echo; [ /dev/fd/0 -ef /dev/null ] && echo /dev/null\n"
        "for fd in 3 4 5 6 7 8 9; do [ -e /dev/fd/$fd ] && echo $fd; done\n"
        "for s in PIPE XFSZ TERM HUP INT USR1; do\n"
        "  bash -c \"kill -$s \\$\\$; echo $s ignored or blocked\"\ndone 2>/dev/null\n"
        "LC_ALL=C ls -A \"$3/" +
            toolsFolder + "\"\n",
        {}, "#!/bin/bash\n");
  }
  // Packs a shell script as the console, alone in the archive or with `entries` instead.
  void console(const std::string& script, std::vector<std::string> entries = {},
               const std::string& shell = "#!/bin/sh\n") {
    writeFile(home.path("tovren"), shell + script);
    if (entries.empty())
      entries = {std::string(constants::consoleEntry) + "=" + home.path("tovren")};
    entries.insert(entries.begin(), home.path("Resources/" + archiveName));
    ASSERT_EQ(runProgram({TOVREN_BUILD_DIR "/make_zip", entries}).status, 0);
    asset = {archiveName, digestOf(contentOf(entries[0])),
             digestOf(contentOf(home.path("tovren")))};
  }
  // "ok", "declined: " and the prompt's message text, or the failure's message;
  // the home is written HOME, a staging folder's UUID as UUID.
  std::string run() {
    std::string json = R"({"version": ")" + version + R"(", "platforms": {")" + key +
                       R"(": {"archive": ")" + asset.archive + R"(", "sha256": ")" + asset.sha256 +
                       R"(", "binary_sha256": ")" + asset.binary_sha256 + "\"}}}";
    FileManager files;
    ::setenv("HOME", home.path().c_str(), 1);
    Processes processes;
    auto descriptors = std::distance(fs::directory_iterator("/dev/fd"), {});
    // Meanwhile this process's standard input is a file, and one descriptor is
    // inheritable: no child may see either.
    int input = ::dup(0), typed = ::open(home.path("tovren").c_str(), O_RDONLY),
        inheritable = ::dup(typed);
    ::dup2(typed, 0);
    // And it ignores or blocks signals that no child may start with.
    sigset_t blocked, before;
    sigemptyset(&blocked), sigaddset(&blocked, SIGUSR1),
        ::sigprocmask(SIG_BLOCK, &blocked, &before);
    auto pipes = ::signal(SIGPIPE, SIG_IGN), sizes = ::signal(SIGXFSZ, SIG_IGN);
    std::string outcome = "ok";
    try {
      catchInterruptions();
      setup(Services{files, app, processes},
            Build{encodeBase64(Bytes(json.begin(), json.end())), platformKey, rowName});
    } catch (...) {
      outcome = describe(std::current_exception());
    }
    ::dup2(input, 0), ::close(input), ::close(typed), ::close(inheritable);
    ::signal(SIGPIPE, pipes), ::signal(SIGXFSZ, sizes),
        ::sigprocmask(SIG_SETMASK, &before, nullptr);
    if (outcome == "ok" && !app.alerts.empty()) outcome = "declined: " + app.alerts[0].messageText;
    EXPECT_EQ(std::distance(fs::directory_iterator("/dev/fd"), {}), descriptors)
        << "every descriptor is closed";
    EXPECT_EQ(home.count(".setup-") - fs::exists(home.tools(".setup-notes")), 0)
        << "no staging folder is left";
    if (auto at = outcome.find(".setup-"); at != std::string::npos)
      outcome.replace(at + 7, 36, "UUID");
    return withHome(outcome);
  }
  std::string withHome(std::string text) const {
    for (auto at = text.find(home.path()); at != std::string::npos; at = text.find(home.path()))
      text.replace(at, home.path().size(), "HOME");
    return text;
  }

  Home home;
  std::string key = platformKey;
  SetupAsset asset;
  ScriptedApplication app{Location(home.path("Resources"))};
};

// Whether this system reports a program that cannot start at its launch. Under
// user-mode emulation posix_spawn is a fork: such a program ends with status 127.
bool launchErrorsReported() {
  pid_t child = 0;
  char* argv[] = {const_cast<char*>("/nonexistent"), nullptr};
  int code = ::posix_spawn(&child, argv[0], nullptr, nullptr, argv, nullptr);
  return code != 0 || statusOf(child) != 127;
}

TEST(Installation, EveryOutcomeOfARunOnceTheManifestIsDecoded) {
  const bool launchErrors = launchErrorsReported();
  if (!launchErrors)
    std::cout << "[   NOTE   ] console cannot start: this system's posix_spawn reports no launch "
                 "error (user-mode emulation), so the console's exit 127 is expected\n";
  const std::string
      missing = "The setup files are missing. Download a fresh TOVREN app.\n\n",
      archive = "The setup archive did not pass verification. Download a fresh TOVREN app.\n\n",
      console = "The console did not pass verification.\n\n", tools = "HOME/" + toolsFolder + "/",
      log = "\nSetup log: " + tools + "setup.log",
      link = "Setup stopped because a destination folder is a symbolic link: HOME/.tovren",
      update = "declined: Update TOVREN on this Mac", v = version;
  struct Case {
    const char* name;
    std::function<void(Rig&)> arrange;
    std::string outcome;
    const char* console;  // the console file afterwards: "new", "old", "link", or as written
    unsigned mode = 0700;
  } cases[] = {
      {"first installation", [](Rig&) {}, "ok", "new"},
      {"an old console replaced", [](Rig& r) { writeFile(r.home.console(), "old"); }, "ok", "new"},
      {"a console of 65 MiB, read into huge pages",
       [](Rig& r) { r.console("exit 0\n" + bytes(std::size_t{65} << 20 | 3)); }, "ok", "new"},
      {"console in place, no archive needed",
       [](Rig& r) {
         fs::copy_file(r.home.path("tovren"), r.home.console()),
             fs::permissions(r.home.console(), fs::perms(0750)),
             fs::remove(r.home.path("Resources/" + archiveName));
       },
       "ok", "new", 0750},
      {"console in place, its mode never set",
       [](Rig& r) {
         fs::copy_file(r.home.path("tovren"), r.home.console()),
             fs::permissions(r.home.console(), fs::perms(0600));
       },
       "ok", "new"},
      {"a fifo as the console", [](Rig& r) { ::mkfifo(r.home.console().c_str(), 0600); }, "ok",
       "new"},
      {"no property list", [](Rig& r) { fs::remove(r.home.path(launchAgent)); },
       "declined: Set up TOVREN on this Mac", "old"},
      {"the marker after a byte-order mark",
       [&](Rig& r) { r.home.plist("\xEF\xBB\xBF" + marker + v + "-arm64"); }, "ok", "new"},
      {"another version's marker",
       [](Rig& r) { r.home.plist("<string>" + marker + "0.0.1-arm64</string>"); }, update, "old"},
      {"a longer version's marker", [&](Rig& r) { r.home.plist(marker + v + "0-"); }, update,
       "old"},
      {"the marker of this version's pre-release",
       [&](Rig& r) { r.home.plist("<string>" + marker + v + "-beta.2-amd64</string>"); }, update,
       "old"},
      {"the marker, a processor's name and more",
       [&](Rig& r) { r.home.plist(marker + v + "-beta.2-x " + marker + v + "-x86_64</string>"); },
       "ok", "new"},
      {"the marker with a capital", [&](Rig& r) { r.home.plist("Automatic-" + v + "-"); }, update,
       "old"},
      {"the marker in a plist that is not UTF-8",
       [&](Rig& r) { r.home.plist("\xff " + marker + v + "-"); }, update, "old"},
      {"the marker in a plist past 1 MiB",
       [&](Rig& r) { r.home.plist(marker + v + "-" + std::string(1536 << 10, ' ')); }, update,
       "old"},
      {"the marker in a plist there is no memory to hold",
       [&](Rig& r) {
         r.home.plist(marker + v + "-" + std::string(600 << 10, ' ')),
             failingAllocation = 512 << 10;
       },
       update, "old"},
      {"a fifo as the property list",
       [](Rig& r) {
         fs::remove(r.home.path(launchAgent)), ::mkfifo(r.home.path(launchAgent).c_str(), 0600);
       },
       update, "old"},
      {"no entry for this build", [](Rig& r) { r.key[0] = 'D'; }, missing + log, "old"},
      {"no resource folder", [](Rig& r) { r.app = ScriptedApplication(); }, missing + log, "old"},
      {"console location is a link",
       [](Rig& r) { fs::create_symlink(r.home.path("tovren"), r.home.console()); },
       link + "/tools/" + consoleName + "\n\n" + log, "link"},
      {"tools folder under a dangling link",
       [](Rig& r) {
         fs::remove_all(r.home.path(".tovren")),
             fs::create_symlink(r.home.path("none"), r.home.path(".tovren"));
       },
       link, ""},
      {"two links on the way: the nearest",
       [](Rig& r) {
         fs::remove_all(r.home.path(".tovren")),
             fs::create_symlink(r.home.path("Resources"), r.home.path(".tovren")),
             fs::create_symlink(r.home.path("none"), r.home.path("Resources/tools"));
       },
       link + "/tools", ""},
      {"a file where .tovren goes, which the link guard cannot look into",
       [](Rig& r) {
         fs::remove_all(r.home.path(".tovren")), writeFile(r.home.path(".tovren"), "");
       },
       "Could not create the folder \"HOME/.tovren/tools\": Not a directory.", ""},
      {"a fifo as the setup log", [](Rig& r) { ::mkfifo(r.home.tools("setup.log").c_str(), 0600); },
       "ok", "new"},
      {"setup log is a link",
       [](Rig& r) { fs::create_symlink(r.home.path("tovren"), r.home.tools("setup.log")); },
       link + "/tools/setup.log", "old"},
      {"archive missing", [](Rig& r) { fs::remove(r.home.path("Resources/" + archiveName)); },
       "Could not read \"HOME/Resources/" + archiveName + "\": No such file or directory.\n\n" +
           log,
       "old"},
      {"archive is a folder",
       [](Rig& r) {
         fs::remove(r.home.path("Resources/" + archiveName)),
             fs::create_directory(r.home.path("Resources/" + archiveName));
       },
       "Could not read \"HOME/Resources/" + archiveName + "\": Not a regular file.\n\n" + log,
       "old"},
      {"archive digest of other bytes", [](Rig& r) { r.asset.sha256 = digestOf("other"); },
       archive + log, "old"},
      {"archive digest in upper case",
       [](Rig& r) {
         for (char& c : r.asset.sha256) c = static_cast<char>(std::toupper(c));
       },
       archive + log, "old"},
      {"archive digest cut short", [](Rig& r) { r.asset.sha256.pop_back(); }, archive + log, "old"},
      {"archive digest empty", [](Rig& r) { r.asset.sha256.clear(); }, archive + log, "old"},
      {"console digest cut short", [](Rig& r) { r.asset.binary_sha256.resize(10); }, console + log,
       "old"},
      {"no console in the archive",
       [](Rig& r) { r.console("", {"other=" + r.home.path("tovren")}); },
       "Could not read \"" + tools + ".setup-UUID/tovren\": No such file or directory.\n\n" + log,
       "old"},
      {"staged console is a link",
       [](Rig& r) {
         r.console("", {"other=" + r.home.path("tovren"),
                        "symlink:" + std::string(constants::consoleEntry) + "=other"});
       },
       link + "/tools/.setup-UUID/tovren\n\n" + log, "old"},
      {"unpacker fails",
       [](Rig& r) {
         writeFile(r.home.path("Resources/" + archiveName), "PK"), r.asset.sha256 = digestOf("PK");
       },
       "Setup stopped (exit 1).\n\nditto: HOME/Resources/" + archiveName +
           ": it is not a zip archive, or it is incomplete\n" + log,
       "old"},
      {"console fails", [](Rig& r) { r.console("echo no session >&2; exit 3"); },
       "Setup stopped (exit 3).\n\nno session\n" + log, "new"},
      {"console ended by a signal", [](Rig& r) { r.console("kill -SEGV $$"); },
       "Setup stopped (exit 139).\n" + consoleName + " was ended by signal 11 (" +
           ::strsignal(SIGSEGV) + ").\n\n" + log,
       "new"},
      {"console exiting with the status a signal would give", [](Rig& r) { r.console("exit 139"); },
       "Setup stopped (exit 139).\n\n" + log, "new"},
      {"console cannot start", [](Rig& r) { r.console("", {}, "#!/nonexistent/sh\n"); },
       (launchErrors ? "Could not start \"" + tools + consoleName + "\": No such file or directory."
                     : "Setup stopped (exit 127).") +
           "\n\n" + log,
       "new"},
  };
  for (const auto& c : cases) {
    Rig rig;
    if (std::string(c.console) == "old") writeFile(rig.home.console(), "old");
    c.arrange(rig);
    std::error_code none;
    auto before = fs::symlink_status(rig.home.console(), none).permissions();
    EXPECT_EQ(rig.run(), c.outcome) << c.name;
    bool installed = std::string(c.console) == "new";
    EXPECT_EQ(fs::is_symlink(rig.home.console()) ? "link" : contentOf(rig.home.console()),
              installed ? contentOf(rig.home.path("tovren")) : c.console)
        << c.name;
    EXPECT_EQ(fs::symlink_status(rig.home.console(), none).permissions(),
              installed ? fs::perms(c.mode) : before)
        << c.name << ": a failed run leaves the old console's mode alone";
  }
  // What interrupted runs left is gone before the console runs: a staging folder,
  // one with a read-only folder unpacked into it, the atomic writes' temporary
  // files. The user's own files stay, however alike their names.
  Rig rig;
  const std::string staging = ".setup-01234567-89AB-CDEF-0123-456789ABCDEF";
  for (const auto& folder : {staging, std::string(".setup-FEDCBA98-7654-3210-FEDC-BA9876543210"),
                             staging + "/read-only"})
    fs::create_directories(rig.home.tools(folder));
  for (const std::string& file : std::vector<std::string>{
           ".setup.log.tmp-Ab12Cd", "." + consoleName + ".tmp-000000",
           staging + "/read-only/tovren", "a.tmp-000000", ".setup.log.tmp-1234567", ".setup-notes"})
    writeFile(rig.home.tools(file), "x");
  fs::permissions(rig.home.tools(staging + "/read-only"), fs::perms(0555));
  ASSERT_EQ(rig.run(), "ok");
  EXPECT_EQ(
      rig.withHome(contentOf(rig.home.tools("setup.log"))),
      "HOME\n[--install-auto][--home][HOME]\n/dev/null\n.setup-notes\n.setup.log.tmp-1234567\n"
      "a.tmp-000000\n" +
          consoleName + "\nsetup.log\n");
  EXPECT_EQ(digestOf("hello world"),
            "b94d27b9934d3e08a52e52d7da7dabfac484efe37a5380ee9088f7ace2efcde9");
}

// Once the console has completed its installation, the consoles it supersedes go:
// this user's files named "console-" of other versions or processors. Anything
// else stays, and everything stays when the console failed.
TEST(Installation, SupersededConsolesGoOnlyOnceTheConsoleSucceeded) {
  for (bool fails : {false, true}) {
    Rig rig;
    if (fails) rig.console("exit 3");
    std::vector<std::string> older = {"console-0.0.1-" + rowName, "console-0.0.2-arm64",
                                      "console-0.0.2-amd64", "console-of-another"},
                             others = {"console-folder", "console-link", "consoles.txt"};
    for (const auto& name : older) writeFile(rig.home.tools(name), "old");
    fs::create_directory(rig.home.tools(others[0]));
    fs::create_symlink(rig.home.path("tovren"), rig.home.tools(others[1]));
    writeFile(rig.home.tools(others[2]), "");
    bool root = ::geteuid() == 0;
    if (root) {
      ASSERT_EQ(::lchown(rig.home.tools(older[3]).c_str(), 54321, 54321), 0);
    }
    EXPECT_EQ(rig.run(),
              fails ? "Setup stopped (exit 3).\n\n\nSetup log: HOME/" + toolsFolder + "/setup.log"
                    : "ok");
    std::set<std::string> left, expected(others.begin(), others.end());
    for (const auto& item : fs::directory_iterator(rig.home.tools()))
      if (item.path().filename().string().starts_with("console"))
        left.insert(item.path().filename());
    expected.insert(consoleName);
    if (fails) expected.insert(older.begin(), older.end());
    if (root) expected.insert(older[3]);
    EXPECT_EQ(left, expected) << (fails ? "the console failed" : "it succeeded");
  }
}

// Nothing is installed where another account owns a folder on the way or may
// write: a home or a folder of another's is refused before anything is created,
// and folders others may write in are made private.
TEST(Installation, TheToolsFolderIsThisUsersAlone) {
  if (::geteuid() != 0) TOVREN_CANNOT_PROVE_HERE("only root can give a folder to another user");
  const std::string belongs =
      " belongs to user 54321, not to you. Setup installs only into "
      "folders of your own: remove it, or have it given to you, then "
      "run setup again.";
  auto give = [](const std::string& path) { ASSERT_EQ(::lchown(path.c_str(), 54321, 54321), 0); };
  struct Case {
    const char* name;
    std::function<void(Rig&)> arrange;
    std::string outcome, tree;  // the modes of .tovren and its tools folder afterwards
  } cases[] = {
      {"a home of another's, as under sudo",
       [&](Rig& r) { fs::remove_all(r.home.path(".tovren")), give(r.home.path()); },
       "The folder HOME" + belongs, "missing"},
      {"another's .tovren", [&](Rig& r) { give(r.home.path(".tovren")); },
       "The folder HOME/.tovren" + belongs, "755 755"},
      {"another's tools folder", [&](Rig& r) { give(r.home.tools()); },
       "The folder HOME/" + toolsFolder + belongs, "755 755"},
      {"folders others may write in",
       [](Rig& r) {
         fs::permissions(r.home.path(".tovren"), fs::perms(0777)),
             fs::permissions(r.home.tools(), fs::perms(0775));
       },
       "ok", "700 700"},
      {"folders others may read: by an access list, and by the mode",
       [](Rig& r) {
         ASSERT_EQ(
             runProgram({"/usr/bin/setfacl", {"-m", "u:54321:rx", r.home.path(".tovren")}}).status,
             0);
         fs::permissions(r.home.tools(), fs::perms(0751));
       },
       "ok", "700 700"},
  };
  for (const auto& c : cases) {
    Rig rig;
    c.arrange(rig);
    EXPECT_EQ(rig.run(), c.outcome) << c.name;
    std::ostringstream tree;
    if (fs::exists(rig.home.path(".tovren")))
      tree << std::oct << modeOf(rig.home.path(".tovren")) << " " << modeOf(rig.home.tools());
    else
      tree << "missing";
    EXPECT_EQ(tree.str(), c.tree) << c.name;
  }
  // On a disk that keeps no permissions (exFAT, through FUSE), every folder stays open
  // to all: refused.
  if (!fs::exists("/dev/fuse") || !fs::exists("/dev/loop-control"))
    GTEST_SKIP() << "this machine's kernel has no FUSE or loop devices to mount exFAT with";
  Rig rig;
  TemporaryFolder image;
  writeFile(image.path("disk"), "");
  fs::resize_file(image.path("disk"), 8 << 20);
  ASSERT_EQ(runProgram({"/sbin/mkfs.exfat", {image.path("disk")}}).status, 0);
  fs::remove_all(rig.home.tools());
  SmallDisk exfat(rig.home.path(".tovren"), "loop", "exFAT", "exfat-fuse", image.path("disk"));
  if (!exfat.mounted()) TOVREN_CANNOT_PROVE_HERE("no exFAT disk can be mounted");
  EXPECT_EQ(rig.run(),
            "The folder HOME/.tovren cannot be made private: its disk does not keep permissions, "
            "as exFAT and FAT disks do not, so other users could change what setup installs. "
            "Setup needs your home folder on a disk that keeps them.");
}

}  // namespace
}  // namespace tovren::testing
