#pragma once
// Programs as their files hold them, read in one place: what kind of program a
// file is, told from its first bytes (a script, an ELF program of Linux or a
// Mach-O program of macOS, thin or universal, and the processors it runs on);
// the programs of a Mach-O file and their load commands; and whether a program's
// file holds all its header says it does.

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovren {

using ProgramBytes = std::span<const std::uint8_t>;

struct ProgramKind {
  bool script = false;                  // "#!": runs wherever its interpreter does
  std::string system;                   // "linux" or "macos" for a program; empty otherwise
  std::vector<std::string> processors;  // the rows it runs on, "arm64" and "amd64"
  std::string description;              // e.g. "an ELF program for x86-64"
};

ProgramKind kindOf(ProgramBytes bytes);

// Whether a program of `kind` runs on `system` with the processor of `row`.
bool runsOn(const ProgramKind& kind, std::string_view system, std::string_view row);

// How a user names the processor of `row` on `system`, e.g. "64-bit Arm Linux (aarch64)".
std::string familyName(std::string_view system, std::string_view row);

// Whether `bytes` begin with `magic`, or hold it at `offset`.
bool holds(ProgramBytes bytes, std::string_view magic, std::size_t offset = 0);

// One program of a Mach-O file: the whole file when it is thin, or one slice of a
// universal one, with its processor row (empty for another processor).
struct Slice {
  std::string row;
  ProgramBytes bytes;
};

// The programs of a Mach-O file, in order. Raises a std::runtime_error naming the
// damage when a slice lies past the file's end.
std::vector<Slice> machSlices(ProgramBytes bytes);

// The load command that says where a Mach-O program's code signature lies.
constexpr std::uint32_t codeSignatureCommand = 0x1D;

// Whether `size` bytes at `offset` lie within `bytes`, whatever their values.
bool within(ProgramBytes bytes, std::uint64_t offset, std::uint64_t size);

// A load command of a Mach-O program: its type, and its bytes, header included.
struct LoadCommand {
  std::uint32_t type;
  ProgramBytes bytes;
};

// The load commands of a thin Mach-O program. Raises a std::runtime_error naming
// the damage when one lies past the commands' end or the file's.
std::vector<LoadCommand> loadCommands(ProgramBytes slice);

// A little- or big-endian integer of `width` bytes at `at`; 0 past the end.
std::uint64_t number(ProgramBytes bytes, std::size_t at, int width, bool big = false);

// What is wrong with the layout of a program's file, empty when nothing: an ELF
// program whose program or section headers, or a segment, lie past its end; a
// Mach-O one whose slices, load commands, segments or signature do. A script, or
// anything that is not a program, has nothing wrong here.
std::string damageOf(ProgramBytes bytes);

}  // namespace tovren
