#include "platform/file_manager.h"

#include <pwd.h>

#include "support/bytes.h"
#include "support/error.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// How the system refuses to set the mode of a link itself.
#ifdef __APPLE__
const std::string linkModeRefused = "Too many levels of symbolic links";
#else
const std::string linkModeRefused = "Operation not supported";
#endif

// What each operation did to the tree, or what it raised.
TEST(FileManager, OperationsNeverFollowALinkAtTheirLocationOrOutOfATree) {
  TemporaryFolder root;
  FileManager files;
  auto at = [&](const std::string& name) { return Location(root.path(name)); };
  // Each operation runs with allocations that set errno: a reason read after one,
  // in whatever order the compiler evaluates, would name the wrong error.
  auto outcome = [&](const std::function<void()>& operation) {
    allocationsSetErrno = true;
    try {
      operation();
      allocationsSetErrno = false;
      return "ok: " + snapshot(root.path());
    } catch (const PlatformError& error) {
      allocationsSetErrno = false;
      return std::string(error.what());
    }
  };
  auto reason = [&](const std::string& call, const std::string& name, const std::string& why) {
    return call + " \"" + root.path(name) + "\": " + why + ".";
  };
  fs::create_directories(root.path("outside")), fs::create_directories(root.path("folder/deep"));
  writeFile(root.path("outside/file"), "keep");
  for (const char* item : {"outside", "outside/file", "folder", "folder/deep"})
    fs::permissions(root.path(item), fs::perms(0700));
  fs::create_directory_symlink(root.path("outside"), root.path("folder/deep/escape"));
  fs::create_symlink(root.path("outside/file"), root.path("link"));
  std::string tree = "outside 700\noutside/file 700 [keep]\n";
  EXPECT_EQ(outcome([&] { files.read(at("link"), Links::refuse); }),
            reason("Could not read", "link", "Too many levels of symbolic links"));
  EXPECT_EQ(outcome([&] { files.openForWriting(at("link")); }),
            reason("Could not open for writing", "link", "Too many levels of symbolic links"));
  EXPECT_EQ(outcome([&] { files.setMode(at("link"), 0777); }),
            reason("Could not set the permissions of", "link", linkModeRefused));
  EXPECT_EQ(files.read(at("link"), Links::follow), (FileContent{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(files.attributes(at("link"), Links::refuse)->type, ItemType::link);
  EXPECT_EQ(files.attributes(at("link"), Links::follow)->type, ItemType::file);
  EXPECT_FALSE(files.attributes(at("missing"), Links::follow));
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }),
            "ok: link 777 -> " + root.path("outside/file") + "\n" + tree);
  EXPECT_EQ(outcome([&] { files.write(at("link"), Bytes{'x'}); }), "ok: link 600 [x]\n" + tree);
  EXPECT_EQ(outcome([&] { files.write(at("outside"), Bytes{'x'}); }),
            reason("Could not write", "outside", "Is a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside/file/tools"), true, 0700); }),
            reason("Could not create the folder", "outside/file/tools", "Not a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside"), false, 0700); }),
            reason("Could not create the folder", "outside", "File exists"));
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }),
            reason("Could not remove", "folder", "No such file or directory"));
}

TEST(FileManager, HomeComesFromAnAbsoluteHomeVariableOrThePasswordDatabase) {
  std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "",
              database = ::getpwuid(::getuid())->pw_dir;
  for (auto [variable, home] :
       {std::pair<std::string, std::string>{"/tmp/someone//", "/tmp/someone"},
        {"", database},
        {"relative", database}}) {
    ::setenv("HOME", variable.c_str(), 1);
    EXPECT_EQ(FileManager().home().path(), home) << variable;
  }
  ::setenv("HOME", saved.c_str(), 1);
  // For a user the database does not know, the setup program says what HOME lacks.
  TOVREN_LINUX_ONLY("becomes another user with setpriv");
  if (::getuid() != 0)
    GTEST_SKIP() << "only root can become a user the password database does not know";
  const std::string unknown = alertTitle + "\n\nCould not find the home folder of user 54321: ";
  for (auto [home, said] : {std::pair<std::string, std::string>{"-u HOME", "HOME is not set"},
                            {"HOME=relative", "HOME \"relative\" is not an absolute path"}}) {
    Outcome outcome = runProgram(
        {"/bin/sh",
         {"-c", "exec env " + home + " setpriv --reuid=54321 --regid=54321 --clear-groups \"$0\"",
          setupProgram()}});
    EXPECT_EQ(outcome.errorOutput, unknown + said + ", and the password database has no folder.\n");
  }
}

}  // namespace
}  // namespace tovren::testing
