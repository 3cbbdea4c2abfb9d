#pragma once
// Zip archives written byte by byte, exactly as a test needs them, hostile ones too.

#include <zlib.h>

#include "tests/test.h"

namespace tovren::testing {

struct Entry {
  std::string name, data;                     // a link's data is its target
  unsigned mode = S_IFREG | 0755;
  std::optional<std::uint32_t> declared = {};  // size, when not the data's
  std::optional<std::string> localName = {};   // in its local header, when not `name`
};

// Little-endian fields of the given widths.
inline std::string fields(std::initializer_list<std::pair<int, std::uint64_t>> values) {
  std::string out;
  for (auto [width, value] : values)
    for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

// A zip archive of stored entries written exactly as given: any name, type, mode and size.
inline std::string zip(const std::vector<Entry>& entries) {
  std::string out, central;
  for (const auto& e : entries) {
    std::uint64_t size = e.declared.value_or(static_cast<std::uint32_t>(e.data.size()));
    std::string local = e.localName.value_or(e.name);
    // Version 20, UTF-8 names, stored, a fixed time, the checksum and the sizes.
    auto crc = ::crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    std::string common = fields({{2, 20}, {2, 0x800}, {2, 0}, {4, 0x210000}, {4, crc}, {4, size}, {4, size}});
    central += fields({{4, 0x02014b50}, {2, 0x031E}}) + common + fields({{2, e.name.size()}, {8, 0}, {4, e.mode << 16}, {4, out.size()}}) + e.name;
    out += fields({{4, 0x04034b50}}) + common + fields({{2, local.size()}, {2, 0}}) + local + e.data;
  }
  return out + central + fields({{4, 0x06054b50}, {4, 0}, {2, entries.size()}, {2, entries.size()}, {4, central.size()}, {4, out.size()}, {2, 0}});
}

}  // namespace tovren::testing
