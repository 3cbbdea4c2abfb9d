#include "platform/posix/posix_file_manager.h"

#include <pwd.h>

#include "platform/portable/error.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

bool allocationsSetErrno = false;

}  // namespace
}  // namespace tovren::testing

// Allocations that set errno, as a successful malloc may, while a row asks for them.
void* operator new(std::size_t size) {
  void* memory = std::malloc(size ? size : 1);
  if (!memory) throw std::bad_alloc();
  if (tovren::testing::allocationsSetErrno) errno = ENOMEM;
  return memory;
}
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmismatched-new-delete"  // this new is malloc
void operator delete(void* memory) noexcept { std::free(memory); }
void operator delete(void* memory, std::size_t) noexcept { std::free(memory); }
#pragma GCC diagnostic pop

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
  EXPECT_EQ(files.attributes(at("link"), Links::refuse)->type, ItemType::link);
  EXPECT_EQ(files.attributes(at("link"), Links::follow)->type, ItemType::file);
  EXPECT_FALSE(files.attributes(at("missing"), Links::follow));
  allocationsSetErrno = true;
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }), "ok: link 777 -> " + root.path("outside/file") + "\n" + tree);
  allocationsSetErrno = false;
  EXPECT_EQ(outcome([&] { files.write(at("link"), Bytes{'x'}); }), "ok: link 600 [x]\n" + tree);
  EXPECT_EQ(outcome([&] { files.write(at("outside"), Bytes{'x'}); }), reason("Could not write", "outside", "Is a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside/file/tools"), true, 0700); }), reason("Could not create the folder", "outside/file/tools", "Not a directory"));
  EXPECT_EQ(outcome([&] { files.createFolder(at("outside"), false, 0700); }), reason("Could not create the folder", "outside", "File exists"));
  EXPECT_EQ(outcome([&] { files.remove(at("folder")); }), reason("Could not remove", "folder", "No such file or directory"));
}

// What home() says in a child process of user `uid` with HOME `variable` (null: unset).
std::string homeOf(uid_t uid, const char* variable) {
  int ends[2];
  if (::pipe(ends) != 0) throw std::runtime_error("pipe");
  if (::fork() == 0) {
    std::string said = "cannot become user " + std::to_string(uid);
    if (::setuid(uid) == 0) try {
        variable ? ::setenv("HOME", variable, 1) : ::unsetenv("HOME");
        said = PosixFileManager().home().path();
      } catch (const PlatformError& error) {
        said = error.what();
      }
    ::_exit(::write(ends[1], said.data(), said.size()) < 0);
  }
  ::close(ends[1]);
  std::string said;
  char buffer[512];
  for (ssize_t n; (n = ::read(ends[0], buffer, sizeof buffer)) > 0;) said.append(buffer, static_cast<std::size_t>(n));
  ::close(ends[0]), ::wait(nullptr);
  return said;
}

TEST(PosixFileManager, HomeComesFromAnAbsoluteHomeVariableOrThePasswordDatabase) {
  if (::getuid() != 0) GTEST_SKIP() << "only root can become a user the password database does not know";
  const std::string root = ::getpwuid(0)->pw_dir, unknown = "Could not find the home folder of user 54321: ";
  const std::tuple<uid_t, const char*, std::string> cases[] = {
      {0, "/tmp/someone//", "/tmp/someone"},
      {0, "", root},
      {0, "relative", root},
      {54321, nullptr, unknown + "HOME is not set, and the password database has no folder."},
      {54321, "relative", unknown + "HOME \"relative\" is not an absolute path, and the password database has no folder."},
  };
  for (const auto& [uid, variable, home] : cases) EXPECT_EQ(homeOf(uid, variable), home) << (variable ? variable : "unset");
}

}  // namespace
}  // namespace tovren::testing
