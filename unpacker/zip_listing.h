#pragma once
// The listing of a zip archive, read from its central directory and checked
// against the archive before anything is unpacked.

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace ditto {

// A refusal or failure, with the reason the user reads.
struct Refusal : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// Raises the Refusal of an archive whose listing does not match its content.
[[noreturn]] void refuseAsDamaged();

struct ListedEntry {
  // As it unpacks: a DOS or Windows maker's backslashes are separators, and a
  // leading "./" is dropped; empty for the entry "./", the folder itself.
  std::string name;
  std::uint64_t start;  // of its local header
  std::uint64_t end;    // of its data
  std::uint64_t size;   // unpacked, as declared
};

// Up to `count` bytes of the archive from `offset` on; fewer only at its end.
// Raises a Refusal when the archive cannot be read.
using ReadAt = std::function<std::string(std::uint64_t offset, std::uint64_t count)>;

// The entries of the zip archive of `size` bytes, in the order of their data.
// Refuses an archive that is damaged or spans volumes, and an entry whose local
// header names it otherwise, whose data overlaps another's, whose name holds a
// NUL, that would land outside the folder, that lands where another does once
// its name is normalised, or that is neither a file, a folder nor a symbolic link.
std::vector<ListedEntry> readListing(std::uint64_t size, const ReadAt& source);

// The same for the archive open on the descriptor `zip`.
std::vector<ListedEntry> readListing(int zip);

// The same for the archive held whole in memory.
std::vector<ListedEntry> readListing(std::string_view archive);

// `name` as one line of UTF-8 text, whatever the locale: bytes that are not UTF-8,
// and control characters, are written as \xNN.
std::string shown(std::string_view name);

// A name that stays inside the folder: relative, with no "." or ".." component.
bool staysInside(const std::string& name);

}  // namespace ditto
