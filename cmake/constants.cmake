# The setup's constants, each written once, here. CMake takes them as variables;
# tovren_write_constants() writes them for C++ (include/tovren/constants.h in the
# build folder) and for the scripts (constants.sh in the build folder).

include(${CMAKE_CURRENT_LIST_DIR}/version.cmake)

# tovren_constant(VARIABLE cppName value): one constant, a text or a number.
macro(tovren_constant variable cpp value)
  set(${variable} "${value}")
  tovren_quote("${value}" quoted)
  if("${value}" MATCHES "^[0-9]+$")
    string(APPEND TOVREN_CONSTANTS_CPP "inline constexpr int ${cpp} = ${value};\n")
  else()
    string(APPEND TOVREN_CONSTANTS_CPP "inline constexpr std::string_view ${cpp} = ${quoted_CPP};\n")
  endif()
  string(APPEND TOVREN_CONSTANTS_SH "${variable}=${quoted_SH}\n")
endmacro()

set(TOVREN_CONSTANTS_CPP "")
set(TOVREN_CONSTANTS_SH "")
tovren_constant(TOVREN_STAND_IN_VERSION standInVersion "0.8.3-runtime.1")
tovren_constant(TOVREN_TOOLS_FOLDER toolsFolder ".tovren/tools")
tovren_constant(TOVREN_LAUNCH_AGENT launchAgent "Library/LaunchAgents/kestrine.console.plist")
# What the console writes into its launch agent, then the version, "-" and the row.
tovren_constant(TOVREN_MARKER versionMarker "automatic-")
# What a version may hold besides ASCII letters and digits. Setup also reads the end
# of a version in the list by them: what follows the marker, up to the first other
# character, is the architecture word, which has no "-".
tovren_constant(TOVREN_VERSION_PUNCTUATION versionPunctuation "._+-")
# The console's entry at the top level of each archive.
tovren_constant(TOVREN_CONSOLE_ENTRY consoleEntry "tovren")
# The unpacker's file name, beside the setup program in the bundle.
tovren_constant(TOVREN_UNPACKER unpacker "ditto")
# The macOS bundle's identifier, in its Info.plist, of the launch agent's maker.
set(TOVREN_BUNDLE_IDENTIFIER kestrine.setup)
# What stands before the manifest's Base64 text in the setup program, so that the
# bundle's checker finds it whatever the manifest holds.
tovren_constant(TOVREN_MANIFEST_MARKER manifestMarker "tovren-manifest-base64:")
# The exit status of the build tools, the unpacker and the console given wrong arguments.
tovren_constant(TOVREN_USAGE_STATUS usageStatus 64)

# The processor rows: each is named by its architecture word, and has the platform
# key of its manifest entry and the name of the archive that carries its console.
set(TOVREN_ROWS arm64 amd64)
set(TOVREN_PLATFORM_KEY_arm64 darwin-arm64)
set(TOVREN_PLATFORM_KEY_amd64 darwin-amd64)
set(TOVREN_ARCHIVE_NAME_arm64 MAC-ARM.zip)
set(TOVREN_ARCHIVE_NAME_amd64 MAC-X64.zip)

# Writes the constants, with the rows, the console version and the main bundle's row
# (for the scripts) once both are known.
function(tovren_write_constants)
  tovren_quote("${TOVREN_CONSOLE_VERSION}" TOVREN_CONSOLE_VERSION)
  set(TOVREN_PLATFORM_KEY ${TOVREN_PLATFORM_KEY_${TOVREN_ROW}})
  set(TOVREN_ARCHIVE ${TOVREN_ARCHIVE_NAME_${TOVREN_ROW}})
  set(rows "")
  foreach(row ${TOVREN_ROWS})
    string(APPEND rows "    {\"${row}\", \"${TOVREN_PLATFORM_KEY_${row}}\", \"${TOVREN_ARCHIVE_NAME_${row}}\"},\n")
  endforeach()
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/include/tovren/constants.h @ONLY CONTENT [[
// Generated from cmake/constants.cmake; do not edit.
#pragma once

#include <string_view>

namespace tovren::constants {

@TOVREN_CONSTANTS_CPP@inline constexpr std::string_view consoleVersion = @TOVREN_CONSOLE_VERSION_CPP@;

// A processor row: its name is its architecture word.
struct Row {
  std::string_view architectureWord, platformKey, archive;
};

inline constexpr Row rows[] = {
@rows@};

// The row named `name`.
constexpr const Row& row(std::string_view name) {
  for (const Row& row : rows)
    if (row.architectureWord == name) return row;
  throw "no such processor row";
}

}  // namespace tovren::constants
]])
  file(CONFIGURE OUTPUT ${CMAKE_BINARY_DIR}/constants.sh @ONLY CONTENT [[
# Generated from cmake/constants.cmake; do not edit.
@TOVREN_CONSTANTS_SH@TOVREN_CONSOLE_VERSION=@TOVREN_CONSOLE_VERSION_SH@
TOVREN_ROW='@TOVREN_ROW@'
TOVREN_PLATFORM_KEY='@TOVREN_PLATFORM_KEY@'
TOVREN_ARCHIVE='@TOVREN_ARCHIVE@'
]])
  # The C++ header, for the targets that include it.
  add_library(tovren_constants INTERFACE)
  target_include_directories(tovren_constants INTERFACE ${CMAKE_BINARY_DIR}/include)
  set_target_properties(tovren_constants PROPERTIES TOVREN_FOLDER tovren)
endfunction()
