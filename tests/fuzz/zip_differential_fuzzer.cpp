// The listing against the library that unpacks, on arbitrary bytes: for every
// archive the listing accepts and the library opens, both read the same listing:
// as many entries, in the order of their data, each of the size the listing
// checked. The unpacker takes the listing's names and checks, so they must
// describe what the library writes. Their links are checked as the unpacker
// checks them, which only a Refusal may leave.
#include <archive.h>
#include <archive_entry.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "unpacker/unpacked_links.h"
#include "unpacker/zip_listing.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<ditto::ListedEntry> entries;
  try {
    entries = ditto::readListing(std::string_view(reinterpret_cast<const char*>(data), size));
  } catch (const ditto::Refusal&) {
    return 0;
  }
  std::unique_ptr<archive, decltype(&archive_read_free)> reader(archive_read_new(),
                                                                &archive_read_free);
  archive_read_support_format_zip_seekable(reader.get());
  // What the library refuses is not unpacked at all.
  if (archive_read_open_memory(reader.get(), data, size) != ARCHIVE_OK) return 0;
  archive_entry* entry;
  ditto::UnpackedLinks links;
  for (std::size_t next = 0;; ++next) {
    int status = archive_read_next_header(reader.get(), &entry);
    if (status == ARCHIVE_EOF) {
      if (next != entries.size()) std::abort();  // the library reads fewer entries
      break;
    }
    if (status < ARCHIVE_WARN) return 0;       // the unpacking stops here
    if (next == entries.size()) std::abort();  // the library reads more entries
    const char* target = archive_entry_symlink(entry);
    try {
      archive_entry_filetype(entry) == AE_IFLNK
          ? links.add(entries[next].name, target ? target : "")
          : links.add(entries[next].name);
    } catch (const ditto::Refusal&) {
      return 0;
    }
    // A file of another size than the listing checked (a link's declared size is
    // its target's length, which the library does not report as a size).
    if (archive_entry_filetype(entry) == AE_IFREG && archive_entry_size_is_set(entry) &&
        static_cast<std::uint64_t>(archive_entry_size(entry)) != entries[next].size)
      std::abort();
  }
  try {
    links.check();
  } catch (const ditto::Refusal&) {
  }
  return 0;
}
