#pragma once
// The listing of a zip archive, read from its central directory and checked
// against the archive before anything is unpacked.

#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace ditto {

// A refusal or failure, with the reason the user reads.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

struct ListedEntry {
  std::string name;     // as the archive spells it
  std::uint64_t start;  // of its local header
  std::uint64_t end;    // of its data
  std::uint64_t size;   // unpacked, as declared
};

// The entries of the zip archive open on `zip`, in the order of their data. Refuses
// an archive that is damaged or spans volumes, and an entry whose local header
// names it otherwise, whose data overlaps another's, that would land outside the
// folder, that lands where another does once its name is normalised, or that is
// neither a file, a folder nor a symbolic link.
std::vector<ListedEntry> readListing(int zip);

// `name` as one line of UTF-8 text: bytes that are not text, and control
// characters, are written as \xNN.
std::string shown(const std::string& name);

// A name that stays inside the folder: relative, with no "." or ".." component.
bool staysInside(const std::string& name);

}  // namespace ditto
