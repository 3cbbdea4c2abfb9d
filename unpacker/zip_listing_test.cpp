#include "unpacker/zip_listing.h"

#include "tests/zip.h"

namespace tovren::testing {
namespace {

// The listing of an archive held in memory: its entries' names as they unpack, or
// the refusal.
std::string listing(const std::string& archive) {
  try {
    std::string names;
    for (const auto& entry : ditto::readListing(archive)) names += entry.name + " ";
    return names;
  } catch (const ditto::Refusal& refusal) {
    return refusal.what();
  }
}

// Every check the unpacker makes before it writes anything: names that lead out,
// names that land on another's path once normalised, central and local names,
// overlaps and sizes; and names as their makers meant them.
TEST(ZipListing, RefusesBeforeWritingWhatWouldLandWrongAndReadsNamesAsTheirMakersMeant) {
  const std::string refusing = "refusing entry ", good = zip({{"tovren", "#!/bin/sh\n"}});
  std::vector<Entry> full;  // the most a count holds without a 64-bit record: all ones, no locator
  for (int i = 0; i < 65535; ++i) full.push_back({std::to_string(i), ""});
  std::pair<std::string, std::string> cases[] = {
      {good, "tovren "},
      {zip({{"../escaped", "x"}}), refusing + "\"../escaped\": it would land outside the folder"},
      {zip({{"a/../../escaped", "x"}}),
       refusing + "\"a/../../escaped\": it would land outside the folder"},
      {zip({{"/tmp/owned", "x"}}), refusing + "\"/tmp/owned\": it would land outside the folder"},
      {zip({{"./a", "x"}, {"./", "", S_IFDIR | 0755}}), "a  "},  // "./" is the folder itself
      {zip({{"././../escaped", "x"}}),
       refusing + "\"../escaped\": it would land outside the folder"},
      {zip({{.name = "..\\..\\escaped", .data = "x", .system = 0}}),
       refusing + "\"../../escaped\": it would land outside the folder"},
      {zip({{.name = "d\\e", .data = "x", .system = 10},
            {.name = "a\\b", .data = "x", .system = 14}}),
       "d/e a/b "},
      {zip({{"a\\b", "x"}}), "a\\b "},  // a Unix maker's backslash
      {zip({{std::string("tovren\0evil", 11), "x"}}),
       refusing + "\"tovren\\x00evil\": its name holds a NUL byte"},
      {zip({{"tovren", "x"}, {"tovren", "y"}}),
       refusing + "\"tovren\": another entry lands on the same path"},
      {zip({{"a/b", "1"}, {"a//b", "2"}}),
       refusing + "\"a//b\": another entry lands on the same path"},
      {zip({{"d", "1"}, {"d/", "", S_IFDIR | 0755}}),
       refusing + "\"d/\": another entry lands on the same path"},
      {zip({{"tovren", "", S_IFIFO | 0644}}),
       refusing + "\"tovren\": it is a special file, not a file, a folder or a symbolic link"},
      {zip({{.name = "../../outside/evil", .data = "x", .localName = "ok.txt"}}),
       refusing + "\"../../outside/evil\": its own header names it \"ok.txt\""},
      {zip({{.name = "a", .data = "xx", .packed = 2 + 30 + 1 + 1}, {"b", "x"}}),
       refusing + "\"b\": it overlaps \"a\""},
      {zip({{.name = "tovren", .data = "x", .packed = 0xFFFFFFF0u}}),
       refusing + "\"tovren\": its data runs into the archive's listing"},
      // Zip64 records as the library reads them: the locator followed although the
      // end record holds the values too, and a local zip64 field's two sizes in order.
      {zip({{"tovren", "#!/bin/sh\n"}}, true), "tovren "},
      {zip({{.name = "tovren", .data = std::string(100, 'x'), .deflated = true, .zip64 = true}}),
       "tovren "},
      {good.substr(0, good.size() / 2), "it is not a zip archive, or it is incomplete"},
      {"", "it is not a zip archive, or it is incomplete"},
  };
  for (const auto& [archive, outcome] : cases) EXPECT_EQ(listing(archive), outcome) << outcome;
  std::string names = listing(zip(full));
  EXPECT_EQ(std::count(names.begin(), names.end(), ' '), 65535) << names.substr(0, 200);
}

}  // namespace
}  // namespace tovren::testing
