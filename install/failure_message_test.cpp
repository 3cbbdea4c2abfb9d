#include "install/failure_message.h"

#include <sys/resource.h>

#include <fstream>

#include "platform/clusters.h"
#include "platform/file_manager.h"
#include "support/text.h"
#include "tests/test.h"

namespace tovren::testing {
namespace {

std::string repeat(const std::string& piece, std::size_t times) {
  std::string text;
  while (times--) text += piece;
  return text;
}

// The tail counts user-perceived characters from the log's end and never splits one.
TEST(FailureMessage, TailIsTheLogsLast1200Characters) {
  const std::string y = repeat("y", 1199), woman = "\xF0\x9F\x91\xA9",
                    family = woman + "\xE2\x80\x8D\xF0\x9F\x91\xA7";
  const std::string flag = "\xF0\x9F\x87\xAB\xF0\x9F\x87\xB7", e = "\xC3\xA9",
                    combined = "e\xCC\x81\xCC\xA3";
  std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"\xEF\xBB\xBF"
       "ditto: done\n",
       "ditto: done\n"},  // without its byte-order mark
      {repeat("a", 3800) + "b" + y, "b" + y},
      {repeat(e, 1201), repeat(e, 1200)},
      {"z" + combined + y, combined + y},
      {"z" + family + y, family + y},
      {flag + flag + y, flag + y},
      {"z\r\n" + y, "\r\n" + y},
      {"output \xff\xfe end", "output \uFFFD\uFFFD end"},                  // not UTF-8
      {"cannot write /home/Jos\xe9/x", "cannot write /home/Jos\uFFFD/x"},  // a Latin-1 home
      {"\xED\xA0\x80", "\uFFFD\uFFFD\uFFFD"},                              // a lone surrogate
      {"\xff" + repeat("y", 1200), repeat("y", 1200)},  // not UTF-8 only before the tail
      {repeat("a", 100000) + woman + y, woman + y},     // beyond the first window read
  };
  TemporaryFolder folder;
  FileManager files;
  for (const auto& [log, tail] : cases) {
    writeFile(folder.path("setup.log"), log);
    EXPECT_EQ(logTail(files, Location(folder.path("setup.log"))), tail) << log.substr(0, 20);
  }
  EXPECT_EQ(failureMessage("Setup stopped (exit 1).", files, Location(folder.path("missing.log"))),
            "Setup stopped (exit 1).\n\n\nSetup log: " + folder.path("missing.log"));
  EXPECT_EQ(visible(std::string("a\0b\x1b[2J\tc\r\nd\re\x7f\xff\xc2\x9b", 18)),
            "a\u2400b\u241b[2J\tc\r\nd\u240de\u2421\uFFFD\uFFFD");
  // However long the log, only its end is read: a 2 GiB log costs no more memory than a short one.
  writeFile(folder.path("setup.log"), "");
  std::filesystem::resize_file(folder.path("setup.log"), std::uintmax_t{2} << 30);  // sparse: NULs
  std::ofstream(folder.path("setup.log"), std::ios::app) << "console: done\n";
  rusage before{}, after{};
  ::getrusage(RUSAGE_SELF, &before);
  EXPECT_EQ(logTail(files, Location(folder.path("setup.log"))),
            std::string(1200 - 14, '\0') + "console: done\n");
  ::getrusage(RUSAGE_SELF, &after);
  EXPECT_LT(after.ru_maxrss, before.ru_maxrss + 256 * 1024) << "kilobytes";
  // A text past ICU's offsets still ends in whole characters.
  FileContent huge((std::size_t{2} << 30) +
                   10000);  // mapped and never cleared: only its end is read
  std::copy(e.begin(), e.end(), std::fill_n(huge.end() - 3, 1, 'a'));
  EXPECT_EQ(
      lastCharacters(std::string_view(reinterpret_cast<const char*>(huge.data()), huge.size()), 2),
      "a" + e);
}

}  // namespace
}  // namespace tovren::testing
