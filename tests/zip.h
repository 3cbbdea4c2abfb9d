#pragma once
// Zip archives written byte by byte, exactly as a test needs them, hostile ones too.

#include <zlib.h>

#include "tests/test.h"

namespace tovren::testing {

struct Entry {
  std::string name, data;  // a link's data is its target
  unsigned mode = S_IFREG | 0755;
  std::optional<std::uint64_t> declared =
      {};  // unpacked size, when not the data's; past 32 bits in a zip64 field
  std::optional<std::string> localName = {};  // in its local header, when not `name`
  unsigned system = 3;                        // of its maker: 3 Unix, 0 DOS, 10 Windows NTFS
  unsigned flags = 0x800;                     // 0x800: the name is UTF-8
  bool deflated = false;
  std::optional<std::uint32_t> packed = {};  // packed size, when not the packed data's
  bool zip64 = false;  // both sizes in a zip64 field, as a maker that streams writes them
};

// Little-endian fields of the given widths.
inline std::string fields(std::initializer_list<std::pair<int, std::uint64_t>> values) {
  std::string out;
  for (auto [width, value] : values)
    for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
  return out;
}

// `data` as a raw deflate stream: zlib's stream without its 2-byte header and 4-byte checksum.
inline std::string deflated(const std::string& data) {
  std::string out(::compressBound(static_cast<uLong>(data.size())), '\0');
  uLongf size = static_cast<uLongf>(out.size());
  ::compress2(reinterpret_cast<Bytef*>(out.data()), &size,
              reinterpret_cast<const Bytef*>(data.data()), static_cast<uLong>(data.size()), 9);
  return out.substr(2, size - 6);
}

// A zip archive of stored or deflated entries written exactly as given: any name,
// maker, type, mode and size; with `zip64End` a zip64 end record and its locator
// before the end record, whose own fields still hold the values.
inline std::string zip(const std::vector<Entry>& entries, bool zip64End = false) {
  std::string out, central;
  for (const auto& e : entries) {
    std::string data = e.deflated ? deflated(e.data) : e.data, local = e.localName.value_or(e.name);
    std::uint64_t size = e.declared.value_or(e.data.size()),
                  packed = e.packed.value_or(static_cast<std::uint32_t>(data.size()));
    std::string wide = e.zip64             ? fields({{2, 1}, {2, 16}, {8, size}, {8, packed}})
                       : size > 0xFFFFFFFE ? fields({{2, 1}, {2, 8}, {8, size}})
                                           : "";
    // Version 45, UTF-8 names, a fixed time, the checksum and the sizes.
    auto crc =
        ::crc32(0, reinterpret_cast<const Bytef*>(e.data.data()), static_cast<uInt>(e.data.size()));
    std::string common = fields({{2, 45},
                                 {2, e.flags},
                                 {2, e.deflated ? 8 : 0},
                                 {4, 0x210000},
                                 {4, crc},
                                 {4, e.zip64 ? 0xFFFFFFFF : packed},
                                 {4, wide.empty() ? size : 0xFFFFFFFF}});
    central +=
        fields({{4, 0x02014b50}, {1, 45}, {1, e.system}}) + common +
        fields({{2, e.name.size()}, {2, wide.size()}, {6, 0}, {4, e.mode << 16}, {4, out.size()}}) +
        e.name + wide;
    out += fields({{4, 0x04034b50}}) + common + fields({{2, local.size()}, {2, wide.size()}}) +
           local + wide + data;
  }
  std::string end64 = zip64End ? fields({{4, 0x06064b50},
                                         {8, 44},
                                         {2, 45},
                                         {2, 45},
                                         {8, 0},
                                         {8, entries.size()},
                                         {8, entries.size()},
                                         {8, central.size()},
                                         {8, out.size()},
                                         {4, 0x07064b50},
                                         {4, 0},
                                         {8, out.size() + central.size()},
                                         {4, 1}})
                               : "";
  return out + central + end64 +
         fields({{4, 0x06054b50},
                 {4, 0},
                 {2, entries.size()},
                 {2, entries.size()},
                 {4, central.size()},
                 {4, out.size()},
                 {2, 0}});
}

}  // namespace tovren::testing
