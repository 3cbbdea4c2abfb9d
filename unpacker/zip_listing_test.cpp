#include "unpacker/zip_listing.h"

#include "tests/zip.h"

namespace tovren::testing {
namespace {

// The listing of an archive held in memory: its entries' names, or the refusal.
std::string listing(const std::string& archive) {
  try {
    std::string names;
    for (const auto& entry : ditto::readListing(archive.size(), [&](std::uint64_t at, std::uint64_t count) {
           return at < archive.size() ? archive.substr(at, count) : "";
         }))
      names += entry.name + " ";
    return names;
  } catch (const ditto::Refusal& refusal) {
    return refusal.what();
  }
}

TEST(ZipListing, ReadsEveryEntryOfAFullCount) {
  std::vector<Entry> entries;
  for (int i = 0; i < 65535; ++i) entries.push_back({std::to_string(i), ""});
  // The most a count holds without a 64-bit record: all ones, and no locator before it.
  std::string names = listing(zip(entries));
  EXPECT_EQ(std::count(names.begin(), names.end(), ' '), 65535) << names.substr(0, 200);
}

}  // namespace
}  // namespace tovren::testing
