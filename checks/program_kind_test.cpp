// Programs read from their first bytes: what kind each is, and what is wrong with
// its file's layout.
#include "checks/program_kind.h"

#include <gtest/gtest.h>

namespace tovren {
namespace {

// `value` in `width` bytes, little-endian, or big-endian when `big`.
std::string field(std::uint64_t value, int width, bool big = false) {
  std::string out;
  for (int i = 0; i < width; ++i) out += static_cast<char>(value >> (8 * i));
  return big ? std::string(out.rbegin(), out.rend()) : out;
}

// A 64-bit ELF header of `machine` whose `count` program headers stand at its end.
std::string elf(unsigned machine, bool big = false, int count = 0) {
  std::string ident =
      "\x7f"
      "ELF\x02" +
      std::string(1, big ? '\x02' : '\x01') + std::string(10, '\0');
  return ident + field(2, 2, big) + field(machine, 2, big) + std::string(12, '\0') +
         field(64, 8, big) + field(0, 8, big) + std::string(6, '\0') + field(56, 2, big) +
         field(static_cast<unsigned>(count), 2, big) + std::string(6, '\0');
}

// A thin 64-bit Mach-O header of processor `type` with `commandBytes` of load
// commands declared (none given).
std::string machO(std::uint32_t type, std::uint32_t commandBytes = 0) {
  return "\xcf\xfa\xed\xfe" + field(type, 4) + std::string(8, '\0') +
         field(commandBytes ? 1 : 0, 4) + field(commandBytes, 4) + std::string(8, '\0');
}

// A universal file whose slices, of `types`, are empty Mach-O programs 4096
// bytes apart; with `cut`, the file ends before its last slice.
std::string universal(std::vector<std::uint32_t> types, bool cut = false) {
  std::string out = "\xca\xfe\xba\xbe" + field(types.size(), 4, true);
  for (std::size_t i = 0; i < types.size(); ++i)
    out += field(types[i], 4, true) + field(0, 4, true) + field(4096 * (i + 1), 4, true) +
           field(32, 4, true) + field(12, 4, true);
  for (std::size_t i = 0; i < types.size() - (cut ? 1 : 0); ++i)
    out.resize(4096 * (i + 1), '\0'), out += machO(types[i]);
  return out;
}

constexpr std::uint32_t arm = 0x0100000C, x86 = 0x01000007;

TEST(ProgramKind, EachFileIsToldByItsFirstBytesAndItsLayoutChecked) {
  struct Case {
    std::string name, bytes, description, damage = "";
  } cases[] = {
      {"a script", "#!/bin/sh\necho\n", "a script"},
      {"ELF for x86-64", elf(62), "an ELF program for x86-64"},
      {"ELF for aarch64, big-endian", elf(183, true), "an ELF program for aarch64"},
      {"ELF for 32-bit Arm", elf(40), "an ELF program for another processor (machine 40)"},
      {"ELF cut within its header", elf(62).substr(0, 40), "an ELF program for x86-64",
       "its ELF header is cut short"},
      {"ELF whose program headers are missing", elf(62, false, 1), "an ELF program for x86-64",
       "its program headers lie past its end: it is cut short"},
      {"Mach-O for arm64", machO(arm), "a Mach-O program for arm64"},
      {"Mach-O whose load commands are missing", machO(arm, 72), "a Mach-O program for arm64",
       "its load commands lie past its end"},
      {"universal", universal({x86, arm}), "a universal Mach-O program for x86-64 and arm64"},
      {"universal cut before its last slice", universal({x86, arm}, true),
       "a universal Mach-O program for x86-64 and arm64",
       "its slice 1 lies past its end: it is cut short"},
      {"universal of another processor", universal({18}),
       "a universal Mach-O program for another processor (processor types 18)"},
      {"a Java class, whose magic number is a universal file's",
       "\xca\xfe\xba\xbe" + field(52, 4, true) + std::string(64, '\0'),
       "neither a program nor a script"},
      {"a Windows program", "MZ" + std::string(62, '\0'), "neither a program nor a script"},
  };
  for (const auto& c : cases) {
    ProgramBytes bytes(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
    EXPECT_EQ(kindOf(bytes).description, c.description) << c.name;
    EXPECT_EQ(damageOf(bytes), c.damage) << c.name;
  }
}

}  // namespace
}  // namespace tovren
