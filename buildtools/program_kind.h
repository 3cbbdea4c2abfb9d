#pragma once
// What kind of program a console is, told from its first bytes: a script, an ELF
// program of Linux or a Mach-O program of macOS, thin or universal, and the
// processors it runs on.

#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tovren {

struct ProgramKind {
  bool script = false;                  // "#!": runs wherever its interpreter does
  std::string system;                   // "linux" or "macos" for a program; empty otherwise
  std::vector<std::string> processors;  // the rows it runs on, "arm64" and "amd64"
  std::string description;              // e.g. "an ELF program for x86-64"
};

ProgramKind kindOf(std::span<const std::uint8_t> bytes);

// Whether a program of `kind` runs on `system` with the processor of `row`.
bool runsOn(const ProgramKind& kind, std::string_view system, std::string_view row);

// How a user names the processor of `row` on `system`, e.g. "64-bit Arm Linux (aarch64)".
std::string familyName(std::string_view system, std::string_view row);

}  // namespace tovren
