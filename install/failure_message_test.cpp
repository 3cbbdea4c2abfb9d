#include "install/failure_message.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <filesystem>
#include <fstream>

#include "platform/posix_file_manager.h"
#include "tests/program.h"

namespace tovren {
namespace {

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  for (std::size_t i = 0; i < times; ++i) text += piece;
  return text;
}

std::string tailOf(const std::string& log) {
  testing::TemporaryFolder folder;
  testing::writeFile(folder.path() + "/setup.log", log);
  PosixFileManager files;
  return logTail(files, Location(folder.path() + "/setup.log"));
}

TEST(FailureMessage, TailCountsUserPerceivedCharactersAndNeverSplitsOne) {
  const std::string e = "\xC3\xA9";                                   // é, two bytes
  const std::string combined = "e\xCC\x81\xCC\xA3";                   // e with two combining marks
  const std::string family = "\xF0\x9F\x91\xA9\xE2\x80\x8D\xF0\x9F\x91\xA7";  // woman ZWJ girl
  const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7";        // regional indicators F R
  struct Case {
    const char* name;
    std::string log;
    std::string tail;
  } cases[] = {
      {"empty", "", ""},
      {"short, whole", "ditto: done\n", "ditto: done\n"},
      {"exactly 1200", repeat("x", 1200), repeat("x", 1200)},
      {"5000, its last 1200", repeat("a", 3800) + repeat("b", 1200), repeat("b", 1200)},
      {"two-byte character at the cut", repeat(e, 1201), repeat(e, 1200)},
      {"combining marks at the cut", "z" + combined + repeat("y", 1199), combined + repeat("y", 1199)},
      {"joined emoji at the cut", "z" + family + repeat("y", 1199), family + repeat("y", 1199)},
      {"flag at the cut", flag + flag + repeat("y", 1199), flag + repeat("y", 1199)},
      {"line feed and carriage return count as one", "z\r\n" + repeat("y", 1199), "\r\n" + repeat("y", 1199)},
      {"not UTF-8", "output \xff\xfe end", ""},
      {"not UTF-8 only before the tail", "\xff" + repeat("y", 1200), repeat("y", 1200)},
      {"a lone surrogate", "\xED\xA0\x80", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(tailOf(c.log), c.tail) << c.name;
}

// However long the log, only its end is read: a 2 GiB log costs no more memory
// than a short one.
TEST(FailureMessage, TailOfAHugeLogIsReadFromItsEnd) {
  testing::TemporaryFolder folder;
  std::string path = folder.path() + "/setup.log";
  testing::writeFile(path, "");
  std::filesystem::resize_file(path, std::uintmax_t{2} << 30);  // sparse: NULs
  std::ofstream(path, std::ios::app) << "console: done\n";
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  PosixFileManager files;
  std::string tail = logTail(files, Location(path));
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_EQ(tail, std::string(1200 - 14, '\0') + "console: done\n");
  EXPECT_LT(after.ru_maxrss, before.ru_maxrss + 256 * 1024) << "kilobytes";
}

TEST(FailureMessage, PiecesJoinWithNoOtherSeparator) {
  testing::TemporaryFolder folder;
  PosixFileManager files;
  Location log(folder.path() + "/setup.log");
  testing::writeFile(log.path(), "no line feed at the end");
  EXPECT_EQ(failureMessage("Setup stopped (exit 1).", files, log),
            "Setup stopped (exit 1).\n\nno line feed at the end\nSetup log: " + log.path());
  testing::writeFile(log.path(), "bad \xc0\x80 bytes");
  EXPECT_EQ(failureMessage("The console did not pass verification.", files, log),
            "The console did not pass verification.\n\n\nSetup log: " + log.path());
  EXPECT_EQ(failureMessage("x", files, Location(folder.path() + "/missing.log")),
            "x\n\n\nSetup log: " + folder.path() + "/missing.log");
}

}  // namespace
}  // namespace tovren
