#include "platform/posix_file_manager.h"

#include <pwd.h>

#include "platform/error.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

// What each operation did to the tree, or what it raised.
TEST(PosixFileManager, OperationsNeverFollowALinkAtTheirLocationOrOutOfATree) {
  TemporaryFolder root;
  PosixFileManager files;
  auto at = [&](const std::string& name) { return Location(root.path(name)); };
  auto outcome = [&](const std::function<void()>& operation) {
    try {
      operation();
      return "ok: " + snapshot(root.path());
    } catch (const PlatformError& error) {
      return std::string(error.what());
    }
  };
  auto reason = [&](const std::string& call, const std::string& name, const std::string& why) { return call + " \"" + root.path(name) + "\": " + why + "."; };
  fs::create_directories(root.path("outside")), fs::create_directories(root.path("folder/deep"));
  writeFile(root.path("outside/file"), "keep");
  for (const char* item : {"outside", "outside/file", "folder", "folder/deep"}) fs::permissions(root.path(item), fs::perms(0700));
  fs::create_directory_symlink(root.path("outside"), root.path("folder/deep/escape"));
  fs::create_symlink(root.path("outside/file"), root.path("link"));
  std::string tree = "outside 700\noutside/file 700 [keep]\n";
  EXPECT_EQ(outcome([&] { files.read(at("link"), Links::refuse); }), reason("Could not read", "link", "Too many levels of symbolic links"));
  EXPECT_EQ(outcome([&] { files.openForWriting(at("link")); }), reason("Could not open for writing", "link", "Too many levels of symbolic links"));
  EXPECT_EQ(outcome([&] { files.setMode(at("link"), 0777); }), reason("Could not set the permissions of", "link", "Operation not supported"));
  EXPECT_EQ(files.read(at("link"), Links::follow), (FileContent{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(files.attributes(at("link")).type, ItemType::link);
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }), "ok: link 777 -> " + root.path("outside/file") + "\n" + tree);
  EXPECT_EQ(outcome([&] { files.write(at("link"), Bytes{'x'}); }), "ok: link 600 [x]\n" + tree);
  EXPECT_EQ(outcome([&] { files.write(at("outside"), Bytes{'x'}); }), reason("Could not write", "outside", "Is a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside/file/tools"), true, 0700); }), reason("Could not create the folder", "outside/file/tools", "Not a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside"), false, 0700); }), reason("Could not create the folder", "outside", "File exists"));
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }), reason("Could not remove", "folder", "No such file or directory"));
}

TEST(PosixFileManager, HomeComesFromAnAbsoluteHomeVariableOrThePasswordDatabase) {
  std::string saved = std::getenv("HOME") ? std::getenv("HOME") : "", database = ::getpwuid(::getuid())->pw_dir;
  for (auto [variable, home] : {std::pair<std::string, std::string>{"/tmp/someone//", "/tmp/someone"}, {"", database}, {"relative", database}}) {
    ::setenv("HOME", variable.c_str(), 1);
    EXPECT_EQ(PosixFileManager().home().path(), home) << variable;
  }
  ::setenv("HOME", saved.c_str(), 1);
}

}  // namespace
}  // namespace tovren::testing
