#include "platform/posix_file_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>

#include "platform/error.h"
#include "tests/program.h"

namespace tovren {
namespace {

namespace fs = std::filesystem;
using testing::TemporaryFolder;

unsigned modeOf(const std::string& path) {
  struct stat status{};
  return ::lstat(path.c_str(), &status) == 0 ? status.st_mode & 07777 : 0;
}

std::string failureOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const PlatformError& error) {
    return error.what();
  }
  return "ok";
}

TEST(PosixFileManager, FoldersGetExactlyTheModeWhateverTheUmask) {
  for (mode_t umask : {0000, 0022, 0077}) {
    TemporaryFolder root;
    PosixFileManager files;
    mode_t old = ::umask(umask);
    files.createFolder(Location(root.path() + "/a/b/c"), true, 0700);
    files.createFolder(Location(root.path() + "/a/b/c"), true, 0755);  // exists: left as it is
    std::string again = failureOf([&] { files.createFolder(Location(root.path() + "/a/b/c"), false, 0700); });
    ::umask(old);
    for (const char* folder : {"/a", "/a/b", "/a/b/c"}) EXPECT_EQ(modeOf(root.path() + folder), 0700u) << umask;
    EXPECT_EQ(again, "Could not create the folder \"" + root.path() + "/a/b/c\": File exists.");
  }
  TemporaryFolder root;
  PosixFileManager files;
  testing::writeFile(root.path() + "/file", "");
  EXPECT_EQ(failureOf([&] { files.createFolder(Location(root.path() + "/file/tools"), true, 0700); }),
            "Could not create the folder \"" + root.path() + "/file/tools\": Not a directory.");
}

TEST(PosixFileManager, AtomicWriteIsPrivateReplacesALinkAndLeavesNoTemporaryFile) {
  TemporaryFolder root;
  PosixFileManager files;
  mode_t old = ::umask(0);
  files.write(Location(root.path() + "/new"), Bytes{'a', 'b'});
  ::umask(old);
  EXPECT_EQ(modeOf(root.path() + "/new"), 0600u);
  EXPECT_EQ(testing::contentOf(root.path() + "/new"), "ab");

  testing::writeFile(root.path() + "/target", "keep");
  fs::create_symlink(root.path() + "/target", root.path() + "/link");
  files.write(Location(root.path() + "/link"), Bytes{'x'});
  EXPECT_FALSE(fs::is_symlink(root.path() + "/link"));
  EXPECT_EQ(testing::contentOf(root.path() + "/link"), "x");
  EXPECT_EQ(testing::contentOf(root.path() + "/target"), "keep");

  fs::create_directory(root.path() + "/folder");
  EXPECT_EQ(failureOf([&] { files.write(Location(root.path() + "/folder"), Bytes{'x'}); }),
            "Could not write \"" + root.path() + "/folder\": Is a directory.");
  EXPECT_EQ(testing::snapshot(root.path()), "folder 755\nlink 600 [x]\nnew 600 [ab]\ntarget 644 [keep]\n");
}

TEST(PosixFileManager, GuardedOperationsRefuseALinkInsteadOfFollowingIt) {
  TemporaryFolder root;
  PosixFileManager files;
  testing::writeFile(root.path() + "/target", "keep");
  fs::permissions(root.path() + "/target", fs::perms(0644));
  fs::create_symlink(root.path() + "/target", root.path() + "/link");
  Location link(root.path() + "/link");
  std::string reason = "\"" + link.path() + "\": Too many levels of symbolic links.";
  EXPECT_EQ(failureOf([&] { files.read(link, Links::refuse); }), "Could not read " + reason);
  EXPECT_EQ(files.read(link, Links::follow), (FileContent{'k', 'e', 'e', 'p'}));
  EXPECT_EQ(failureOf([&] { files.openForWriting(link); }), "Could not open for writing " + reason);
  EXPECT_NE(failureOf([&] { files.setMode(link, 0700); }), "ok");
  EXPECT_EQ(modeOf(root.path() + "/target"), 0644u);
  EXPECT_EQ(files.attributes(link).type, ItemType::link);
  EXPECT_EQ(files.attributes(Location(root.path() + "/target")).permissions, 0644u);
  EXPECT_TRUE(files.exists(link));
}

TEST(PosixFileManager, RemovalNeverFollowsALinkOutOfTheTree) {
  TemporaryFolder root;
  PosixFileManager files;
  fs::create_directories(root.path() + "/outside/inner");
  testing::writeFile(root.path() + "/outside/inner/file", "keep");
  fs::create_directories(root.path() + "/staging/deep/er");
  testing::writeFile(root.path() + "/staging/deep/er/tovren", "x");
  fs::create_directory_symlink(root.path() + "/outside", root.path() + "/staging/deep/escape");
  files.remove(Location(root.path() + "/staging"));
  EXPECT_FALSE(fs::exists(root.path() + "/staging"));
  EXPECT_EQ(testing::contentOf(root.path() + "/outside/inner/file"), "keep");
  EXPECT_EQ(failureOf([&] { files.remove(Location(root.path() + "/staging")); }),
            "Could not remove \"" + root.path() + "/staging\": No such file or directory.");
}

TEST(PosixFileManager, HomeComesFromAnAbsoluteHomeVariableOrThePasswordDatabase) {
  const char* saved = std::getenv("HOME");
  std::string original = saved ? saved : "";
  PosixFileManager files;
  ::setenv("HOME", "/tmp/someone//", 1);
  EXPECT_EQ(files.home().path(), "/tmp/someone");
  for (const char* value : {"", "relative/home"}) {
    ::setenv("HOME", value, 1);
    EXPECT_TRUE(files.home().path().starts_with("/")) << value;
  }
  if (saved) ::setenv("HOME", original.c_str(), 1);
}

}  // namespace
}  // namespace tovren
