#include "buildtools/program_kind.h"

#include <algorithm>
#include <cstdint>

namespace tovren {

namespace {

// A little- or big-endian integer of `width` bytes at `at`; 0 past the end.
std::uint64_t number(std::span<const std::uint8_t> bytes, std::size_t at, int width, bool big) {
  if (at + static_cast<std::size_t>(width) > bytes.size()) return 0;
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i)
    value |= std::uint64_t{bytes[at + static_cast<std::size_t>(big ? width - 1 - i : i)]}
             << (8 * i);
  return value;
}

// The row of an ELF machine or a Mach-O processor type; empty for any other.
std::string elfRow(std::uint64_t machine) {
  return machine == 62 ? "amd64" : machine == 183 ? "arm64" : "";
}
std::string machRow(std::uint64_t type) {
  return type == 0x01000007 ? "amd64" : type == 0x0100000C ? "arm64" : "";
}

// How the program's own system names the processor of `row`.
std::string processorName(std::string_view system, std::string_view row) {
  if (row == "amd64") return "x86-64";
  return system == "linux" ? "aarch64" : "arm64";
}

std::string describe(const ProgramKind& kind, const std::string& format, std::string other) {
  if (kind.processors.empty())
    return "a" + format + " program for another processor (" + other + ")";
  std::string names;
  for (const auto& row : kind.processors)
    names += (names.empty() ? "" : " and ") + processorName(kind.system, row);
  return "a" + format + " program for " + names;
}

ProgramKind elf(std::span<const std::uint8_t> bytes) {
  ProgramKind kind{false, "linux", {}, ""};
  bool big = bytes.size() > 5 && bytes[5] == 2;
  std::uint64_t machine = number(bytes, 18, 2, big);
  if (std::string row = elfRow(machine); !row.empty() && bytes[4] == 2)
    kind.processors.push_back(row);
  kind.description = describe(kind, "n ELF", "machine " + std::to_string(machine));
  return kind;
}

ProgramKind thinMach(std::span<const std::uint8_t> bytes) {
  ProgramKind kind{false, "macos", {}, ""};
  std::uint64_t type = number(bytes, 4, 4, false);
  if (std::string row = machRow(type); !row.empty()) kind.processors.push_back(row);
  kind.description = describe(kind, " Mach-O", "processor type " + std::to_string(type));
  return kind;
}

// A universal program: its slices' processors. Java's class files share the
// magic number; their version stands where the count of slices would.
ProgramKind universal(std::span<const std::uint8_t> bytes, bool wide) {
  ProgramKind kind{false, "macos", {}, ""};
  std::uint64_t slices = number(bytes, 4, 4, true), size = wide ? 32 : 20;
  if (slices == 0 || slices > 16 || 8 + slices * size > bytes.size())
    return {false, "", {}, "neither a program nor a script"};
  std::string others;
  for (std::uint64_t i = 0; i < slices; ++i) {
    std::uint64_t type = number(bytes, 8 + i * size, 4, true);
    if (std::string row = machRow(type); !row.empty())
      kind.processors.push_back(row);
    else
      others += (others.empty() ? "" : ", ") + std::to_string(type);
  }
  std::sort(kind.processors.begin(), kind.processors.end());
  kind.description = describe(kind, " universal Mach-O", "processor types " + others);
  return kind;
}

}  // namespace

ProgramKind kindOf(std::span<const std::uint8_t> bytes) {
  auto starts = [&](std::string_view magic) {
    return bytes.size() >= magic.size() &&
           std::equal(magic.begin(), magic.end(), bytes.begin(),
                      [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
  };
  if (starts("#!")) return {true, "", {}, "a script"};
  if (starts("\x7F"
             "ELF"))
    return elf(bytes);
  if (starts("\xCF\xFA\xED\xFE")) return thinMach(bytes);
  if (starts("\xCA\xFE\xBA\xBE")) return universal(bytes, false);
  if (starts("\xCA\xFE\xBA\xBF")) return universal(bytes, true);
  return {false, "", {}, "neither a program nor a script"};
}

bool runsOn(const ProgramKind& kind, std::string_view system, std::string_view row) {
  if (kind.script) return true;
  return kind.system == system &&
         std::find(kind.processors.begin(), kind.processors.end(), row) != kind.processors.end();
}

std::string familyName(std::string_view system, std::string_view row) {
  std::string processor = row == "amd64" ? "x86-64" : "64-bit Arm";
  return system == "linux" ? processor + " Linux (" + processorName(system, row) + ")"
                           : "macOS on " + processor + " (" + processorName(system, row) +
                                 ", or a universal program)";
}

}  // namespace tovren
