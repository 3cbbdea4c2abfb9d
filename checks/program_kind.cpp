#include "checks/program_kind.h"

#include <algorithm>
#include <stdexcept>

namespace tovren {

namespace {

constexpr std::string_view elfMagic(
    "\x7F"
    "ELF"),
    machMagic("\xCF\xFA\xED\xFE"), universalMagic("\xCA\xFE\xBA\xBE"),
    wideUniversalMagic("\xCA\xFE\xBA\xBF");

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

ProgramKind elf(ProgramBytes bytes) {
  ProgramKind kind{false, "linux", {}, ""};
  bool big = bytes.size() > 5 && bytes[5] == 2;
  std::uint64_t machine = number(bytes, 18, 2, big);
  if (std::string row = elfRow(machine); !row.empty() && bytes[4] == 2)
    kind.processors.push_back(row);
  kind.description = describe(kind, "n ELF", "machine " + std::to_string(machine));
  return kind;
}

ProgramKind thinMach(ProgramBytes bytes) {
  ProgramKind kind{false, "macos", {}, ""};
  std::uint64_t type = number(bytes, 4, 4);
  if (std::string row = machRow(type); !row.empty()) kind.processors.push_back(row);
  kind.description = describe(kind, " Mach-O", "processor type " + std::to_string(type));
  return kind;
}

// How a universal file describes its slices: where the list begins, how long an
// entry is, and where an entry's offset and size stand, of what width.
struct FatLayout {
  std::uint64_t count, entry;
  int width;
};
FatLayout fatLayout(ProgramBytes bytes) {
  bool wide = holds(bytes, wideUniversalMagic);
  return {number(bytes, 4, 4, true), wide ? 32u : 20u, wide ? 8 : 4};
}

// A universal program: its slices' processors. Java's class files share the
// magic number; their version stands where the count of slices would.
ProgramKind universal(ProgramBytes bytes) {
  ProgramKind kind{false, "macos", {}, ""};
  FatLayout fat = fatLayout(bytes);
  if (fat.count == 0 || fat.count > 16 || 8 + fat.count * fat.entry > bytes.size())
    return {false, "", {}, "neither a program nor a script"};
  std::string others;
  for (std::uint64_t i = 0; i < fat.count; ++i) {
    std::uint64_t type = number(bytes, 8 + i * fat.entry, 4, true);
    if (std::string row = machRow(type); !row.empty())
      kind.processors.push_back(row);
    else
      others += (others.empty() ? "" : ", ") + std::to_string(type);
  }
  std::sort(kind.processors.begin(), kind.processors.end());
  kind.description = describe(kind, " universal Mach-O", "processor types " + others);
  return kind;
}

// What is wrong with an ELF program's layout: where its program headers, its
// section headers and each segment lie.
std::string elfDamage(ProgramBytes bytes) {
  bool wide = bytes.size() > 4 && bytes[4] == 2, big = bytes.size() > 5 && bytes[5] == 2;
  int word = wide ? 8 : 4;
  std::size_t header = wide ? 64 : 52;
  auto at = [&](std::size_t offset, int width) { return number(bytes, offset, width, big); };
  std::uint64_t programs = at(wide ? 32 : 28, word), sections = at(wide ? 40 : 32, word),
                programSize = at(wide ? 54 : 42, 2), programCount = at(wide ? 56 : 44, 2),
                sectionSize = at(wide ? 58 : 46, 2), sectionCount = at(wide ? 60 : 48, 2);
  if (bytes.size() < header) return "its ELF header is cut short";
  if (!within(bytes, programs, programSize * programCount))
    return "its program headers lie past its end: it is cut short";
  if (sectionCount && !within(bytes, sections, sectionSize * sectionCount))
    return "its section headers lie past its end: it is cut short";
  for (std::uint64_t i = 0; i < programCount; ++i) {
    std::size_t entry = programs + i * programSize;
    std::uint64_t offset = at(entry + (wide ? 8 : 4), word),
                  size = at(entry + (wide ? 32 : 16), word);
    if (!within(bytes, offset, size))
      return "its segment " + std::to_string(i) + " lies past its end: it is cut short";
  }
  return "";
}

constexpr std::uint32_t segment64 = 0x19;

// What is wrong with a thin Mach-O program's layout: its load commands, and what
// its segments and signature say lies in the file.
std::string machDamage(ProgramBytes slice) {
  if (!holds(slice, machMagic)) return "";  // a slice of another kind, not read here
  try {
    for (const LoadCommand& command : loadCommands(slice)) {
      bool segment = command.type == segment64;
      if (!segment && command.type != codeSignatureCommand) continue;
      std::uint64_t offset = number(command.bytes, segment ? 40 : 8, segment ? 8 : 4),
                    size = number(command.bytes, segment ? 48 : 12, segment ? 8 : 4);
      if (!within(slice, offset, size))
        return std::string(segment ? "a segment" : "its signature") +
               " lies past its end: it is cut short";
    }
  } catch (const std::runtime_error& damage) {
    return damage.what();
  }
  return "";
}

}  // namespace

bool within(ProgramBytes bytes, std::uint64_t offset, std::uint64_t size) {
  return offset <= bytes.size() && size <= bytes.size() - offset;
}

std::uint64_t number(ProgramBytes bytes, std::size_t at, int width, bool big) {
  if (at > bytes.size() || static_cast<std::size_t>(width) > bytes.size() - at) return 0;
  std::uint64_t value = 0;
  for (int i = 0; i < width; ++i)
    value |= std::uint64_t{bytes[at + static_cast<std::size_t>(big ? width - 1 - i : i)]}
             << (8 * i);
  return value;
}

bool holds(ProgramBytes bytes, std::string_view magic, std::size_t offset) {
  return within(bytes, offset, magic.size()) &&
         std::equal(magic.begin(), magic.end(), bytes.begin() + static_cast<long>(offset),
                    [](char m, std::uint8_t b) { return static_cast<std::uint8_t>(m) == b; });
}

ProgramKind kindOf(ProgramBytes bytes) {
  if (holds(bytes, "#!")) return {true, "", {}, "a script"};
  if (holds(bytes, elfMagic)) return elf(bytes);
  if (holds(bytes, machMagic)) return thinMach(bytes);
  if (holds(bytes, universalMagic) || holds(bytes, wideUniversalMagic)) return universal(bytes);
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

std::vector<Slice> machSlices(ProgramBytes bytes) {
  if (holds(bytes, machMagic)) return {{machRow(number(bytes, 4, 4)), bytes}};
  if (kindOf(bytes).system != "macos") return {};
  std::vector<Slice> slices;
  FatLayout fat = fatLayout(bytes);
  for (std::uint64_t i = 0; i < fat.count; ++i) {
    std::size_t entry = 8 + i * fat.entry;
    std::uint64_t offset = number(bytes, entry + 8, fat.width, true),
                  size = number(bytes, entry + 8 + static_cast<std::size_t>(fat.width), fat.width,
                                true);
    if (!within(bytes, offset, size))
      throw std::runtime_error("its slice " + std::to_string(i) +
                               " lies past its end: it is cut short");
    slices.push_back({machRow(number(bytes, entry, 4, true)), bytes.subspan(offset, size)});
  }
  return slices;
}

std::vector<LoadCommand> loadCommands(ProgramBytes slice) {
  std::uint64_t count = number(slice, 16, 4), size = number(slice, 20, 4);
  if (!within(slice, 32, size)) throw std::runtime_error("its load commands lie past its end");
  std::vector<LoadCommand> commands;
  for (std::uint64_t at = 32, i = 0; i < count; ++i) {
    std::uint64_t length = number(slice, at + 4, 4);
    if (length < 8 || at + length > 32 + size)
      throw std::runtime_error("its load command " + std::to_string(i) +
                               " runs past the commands' end");
    commands.push_back(
        {static_cast<std::uint32_t>(number(slice, at, 4)), slice.subspan(at, length)});
    at += length;
  }
  return commands;
}

std::string damageOf(ProgramBytes bytes) {
  if (holds(bytes, elfMagic)) return elfDamage(bytes);
  if (kindOf(bytes).system != "macos") return "";
  try {
    for (const Slice& slice : machSlices(bytes))
      if (std::string damage = machDamage(slice.bytes); !damage.empty()) return damage;
  } catch (const std::runtime_error& damage) {
    return damage.what();
  }
  return "";
}

}  // namespace tovren
