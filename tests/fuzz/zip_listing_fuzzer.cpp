// The unpacker's listing on arbitrary bytes as an archive. Only a Refusal may
// leave it, and what it accepts keeps the promises the unpacking builds on.
#include <cstdint>
#include <cstdlib>
#include <string>

#include "unpacker/zip_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<ditto::ListedEntry> entries;
  try {
    entries = ditto::readListing(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const ditto::Refusal&) {
    return 0;
  }
  for (std::size_t i = 0; i < entries.size(); ++i) {
    const auto& entry = entries[i];
    // Inside the folder, whole, in the archive, and in order without overlaps.
    bool folderItself = entry.name.empty();
    if ((!folderItself && !ditto::staysInside(entry.name)) ||
        entry.name.find('\0') != std::string::npos)
      std::abort();
    if (entry.start > entry.end || entry.end > size || (i > 0 && entry.start < entries[i - 1].end))
      std::abort();
  }
  return 0;
}
