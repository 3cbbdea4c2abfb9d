#include "install/safe.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "install/setup_failure.h"
#include "tests/fakes.h"
#include "tests/program.h"

namespace tovren {
namespace {

namespace fs = std::filesystem;
using testing::FaultyFiles;
using testing::TemporaryFolder;

const std::string refusal = "Setup stopped because a destination folder is a symbolic link: ";

// What safe says of `destination`: "accepted", or the failure's message.
std::string verdict(FileManager& files, const Location& destination) {
  try {
    safe(files, destination);
    return "accepted";
  } catch (const SetupFailure& failure) {
    return failure.message;
  }
}

TEST(Safe, ReportsTheLinkNearestToTheDestinationAndChangesNothing) {
  struct Case {
    const char* name;
    std::function<void(const std::string& home)> plant;
    const char* destination;  // under the home folder
    const char* link;         // the path reported, under the home folder; empty when accepted
  } cases[] = {
      {"nothing exists yet", [](auto&) {}, "/.tovren/tools/setup.log", nullptr},
      {"real folders all the way", [](auto& h) { fs::create_directories(h + "/.tovren/tools"); }, "/.tovren/tools", nullptr},
      {"link at .tovren",
       [](auto& h) { fs::create_directories(h + "/elsewhere/tools"); fs::create_directory_symlink(h + "/elsewhere", h + "/.tovren"); },
       "/.tovren/tools", "/.tovren"},
      {"link at tools",
       [](auto& h) { fs::create_directories(h + "/.tovren"); fs::create_directory_symlink(h + "/elsewhere", h + "/.tovren/tools"); },
       "/.tovren/tools", "/.tovren/tools"},
      {"the destination itself",
       [](auto& h) { fs::create_directories(h + "/.tovren/tools"); fs::create_symlink(h + "/target", h + "/.tovren/tools/setup.log"); },
       "/.tovren/tools/setup.log", "/.tovren/tools/setup.log"},
      {"two levels above, seen through the link",
       [](auto& h) { fs::create_directories(h + "/real/tools"); fs::create_directory_symlink(h + "/real", h + "/.tovren"); },
       "/.tovren/tools/setup.log", "/.tovren"},
      {"dangling link",
       [](auto& h) { fs::create_directories(h + "/.tovren"); fs::create_symlink(h + "/missing", h + "/.tovren/tools"); },
       "/.tovren/tools/setup.log", "/.tovren/tools"},
      {"nearest of two links",
       [](auto& h) {
         fs::create_directories(h + "/a/b");
         fs::create_directory_symlink(h + "/a", h + "/.tovren");
         fs::create_directory_symlink(h + "/a/b", h + "/a/tools");
       },
       "/.tovren/tools/setup.log", "/.tovren/tools"},
  };
  for (const auto& c : cases) {
    TemporaryFolder home;
    c.plant(home.path());
    std::string before = testing::snapshot(home.path());
    FaultyFiles files(Location(home.path()));
    std::string expected = c.link ? refusal + home.path() + c.link : "accepted";
    EXPECT_EQ(verdict(files, Location(home.path() + c.destination)), expected) << c.name;
    EXPECT_EQ(testing::snapshot(home.path()), before) << c.name;
  }
}

TEST(Safe, HomeFolderThatIsALinkRefusesEveryDestination) {
  TemporaryFolder root;
  fs::create_directory(root.path() + "/real");
  fs::create_directory_symlink(root.path() + "/real", root.path() + "/home");
  FaultyFiles files(Location(root.path() + "/home"));
  for (const char* destination : {"/home/.tovren/tools", "/home/.tovren/tools/setup.log", "/home"})
    EXPECT_EQ(verdict(files, Location(root.path() + destination)), refusal + root.path() + "/home");
}

TEST(Safe, WalksOnPastItemsThatCannotBeExaminedUpToTheRoot) {
  TemporaryFolder root;
  fs::create_directories(root.path() + "/real/tools");
  fs::create_directory_symlink(root.path() + "/real", root.path() + "/link");
  std::string blocked = root.path() + "/link/tools";
  FaultyFiles files(Location(root.path()), FaultyFiles::failing("attributes " + blocked, EACCES));
  EXPECT_EQ(verdict(files, Location(blocked + "/setup.log")), refusal + root.path() + "/link");

  FaultyFiles plain(Location("/"));
  EXPECT_EQ(verdict(plain, Location("/tmp/../")), "accepted");
  EXPECT_EQ(plain.operations, std::vector<std::string>{"attributes /"});  // the root, examined once
}

}  // namespace
}  // namespace tovren
