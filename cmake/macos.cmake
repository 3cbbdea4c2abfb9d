# Builds for macOS 12.0 or later on another system, with Zig's clang, its libc++ and
# its macOS C headers and libSystem stubs. Included by macos-arm64.cmake and
# macos-x86_64.cmake, which name the processor. Nothing here runs a macOS program:
# the build's own tools come from a build for this machine (TOVREN_HOST_TOOLS).
set(CMAKE_SYSTEM_NAME Darwin)
set(CMAKE_SYSTEM_VERSION 21)
set(CMAKE_C_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/${TOVREN_ZIG_PROCESSOR}-macos-cc)
set(CMAKE_CXX_COMPILER ${CMAKE_CURRENT_LIST_DIR}/zig/${TOVREN_ZIG_PROCESSOR}-macos-c++)
set(CMAKE_AR llvm-ar-14 CACHE FILEPATH "")
set(CMAKE_RANLIB llvm-ranlib-14 CACHE FILEPATH "")
set(CMAKE_INSTALL_NAME_TOOL llvm-install-name-tool-14 CACHE FILEPATH "")
set(CMAKE_OSX_SYSROOT "" CACHE PATH "")
set(CMAKE_OSX_DEPLOYMENT_TARGET 12.0 CACHE STRING "")
# Nothing of this machine's own libraries or headers belongs in a macOS program.
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)
# Only the header-only libraries of this machine (JSON, ICU's UTF-8 macros) and
# zlib's interface (macOS has the library), seen through a folder of links that is
# the build's only place to look: the rest of /usr/include is this system's C
# library.
set(TOVREN_HOST_HEADERS ${CMAKE_BINARY_DIR}/host-headers)
foreach(header nlohmann unicode zlib.h zconf.h)
  if(EXISTS /usr/include/${header} AND NOT EXISTS ${TOVREN_HOST_HEADERS}/include/${header})
    file(MAKE_DIRECTORY ${TOVREN_HOST_HEADERS}/include)
    file(CREATE_LINK /usr/include/${header} ${TOVREN_HOST_HEADERS}/include/${header} SYMBOLIC)
  endif()
endforeach()
# Zig has link stubs of libSystem only; libz.tbd is the one other system library
# the tests link, /usr/lib/libz.1.dylib, with the functions they use, found there
# as the zlib of the system the build is for.
if(NOT EXISTS ${TOVREN_HOST_HEADERS}/lib/libz.tbd)
  file(MAKE_DIRECTORY ${TOVREN_HOST_HEADERS}/lib)
  file(CREATE_LINK ${CMAKE_CURRENT_LIST_DIR}/zig/libz.tbd ${TOVREN_HOST_HEADERS}/lib/libz.tbd SYMBOLIC)
endif()
set(CMAKE_FIND_ROOT_PATH ${TOVREN_HOST_HEADERS})
# Zig's clang keeps debug information unless told not to, and its linker then names
# each object file by its path in the build folder: a release build carries none.
# Nor does it carry the linker's debug map (-S), which names the build machine's
# Zig cache, where Zig compiled libc++ with debug information, and the folder that
# compile ran in: two builds on any machines, from any folders, give the same bytes.
# The symbol table stays, so a crash report still names the functions.
set(CMAKE_C_FLAGS_RELEASE_INIT -g0)
set(CMAKE_CXX_FLAGS_RELEASE_INIT -g0)
set(CMAKE_EXE_LINKER_FLAGS_RELEASE_INIT -Wl,-S)
