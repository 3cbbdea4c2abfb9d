# The system the build is for, and the libraries of the house, each as an imported
# target. A system without its part of the platform layer stops here, naming the
# files a port provides.
if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  set(TOVREN_SYSTEM macos)
else()
  string(TOLOWER ${CMAKE_SYSTEM_NAME} TOVREN_SYSTEM)
endif()
# Each defines the system's part of what the header of its name in platform/ or
# platform/posix/ declares: all of it, or all but a portable part, which is in the
# file of that name beside the header.
set(TOVREN_SYSTEM_SOURCES buffers.cpp bundle.cpp clusters.cpp desktop_dialog.cpp files.cpp readiness.cpp sha256.cpp
    spawn.cpp)
set(missing)
foreach(file ${TOVREN_SYSTEM_SOURCES})
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/platform/${TOVREN_SYSTEM}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  list(JOIN TOVREN_SYSTEM_SOURCES ", " files)
  message(FATAL_ERROR "There is no platform layer for ${CMAKE_SYSTEM_NAME}. A port provides platform/${TOVREN_SYSTEM}/ "
                      "with ${files}, each defining the system's part of what the header of its name in platform/ "
                      "or platform/posix/ declares (docs/macos.md tells how the macOS port was made).")
endif()

# A library of headers alone, as an imported target.
function(tovren_headers name)
  add_library(${name} INTERFACE IMPORTED)
  set_target_properties(${name} PROPERTIES INTERFACE_INCLUDE_DIRECTORIES "${ARGN}")
endfunction()

# Of ICU, JSON and the desktop toolkit only headers are needed: the program loads
# ICU and the toolkit itself when it needs them. On macOS, which ships neither
# header set, they are looked for as headers alone (Homebrew's icu4c and
# nlohmann-json on a Mac); the system library holds the rest, linked by default.
find_package(PkgConfig REQUIRED)
if(TOVREN_SYSTEM STREQUAL "macos")
  find_path(ICU_INCLUDES unicode/utf8.h REQUIRED)
  tovren_headers(ICU::headers ${ICU_INCLUDES})
  find_path(JSON_INCLUDES nlohmann/json.hpp REQUIRED)
  tovren_headers(nlohmann_json::nlohmann_json ${JSON_INCLUDES})
else()
  find_package(OpenSSL REQUIRED)
  find_package(ICU REQUIRED COMPONENTS uc)
  get_target_property(icu_includes ICU::uc INTERFACE_INCLUDE_DIRECTORIES)
  tovren_headers(ICU::headers ${icu_includes})
  find_package(nlohmann_json REQUIRED)
  pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
  pkg_check_modules(GTK3 REQUIRED gtk+-3.0)
  tovren_headers(GTK3::headers ${GTK3_INCLUDE_DIRS})
  # dlopen, in the C library itself on current systems.
  add_library(tovren::dl INTERFACE IMPORTED)
  set_target_properties(tovren::dl PROPERTIES INTERFACE_LINK_LIBRARIES "${CMAKE_DL_LIBS}")
endif()
# The zip library, for the stand-in unpacker and the build's own programs, where
# they are built here.
if(NOT TOVREN_HOST_TOOLS)
  pkg_check_modules(LIBARCHIVE REQUIRED IMPORTED_TARGET libarchive)
endif()

# The platform library: the portable parts beside the headers, the POSIX part,
# the ICU part and the system's own.
function(tovren_platform_library)
  # The system's folder holds the twins above and what only that system needs.
  file(GLOB sources CONFIGURE_DEPENDS platform/*.cpp platform/dialogs/*.cpp platform/posix/*.cpp
       platform/icu/*.cpp platform/${TOVREN_SYSTEM}/*.cpp)
  list(FILTER sources EXCLUDE REGEX "_test\\.cpp$")
  if(TOVREN_TESTS_ON_TERMINAL AND TOVREN_SYSTEM STREQUAL "macos")
    list(FILTER sources EXCLUDE REGEX "platform/macos/desktop_dialog\\.cpp$")
    list(APPEND sources ${CMAKE_SOURCE_DIR}/tests/no_desktop.cpp)
  endif()
  add_library(tovren_platform STATIC ${sources})
  tovren_settings(tovren_platform)
  target_link_libraries(tovren_platform PUBLIC tovren_support PRIVATE tovren_constants ICU::headers)
  if(TOVREN_SYSTEM STREQUAL "linux")
    target_link_libraries(tovren_platform PRIVATE OpenSSL::Crypto PkgConfig::UUID tovren::dl GTK3::headers)
  endif()
  tovren_layer(tovren_platform FOLDER platform USES platform/dialogs)
  tovren_layer(tovren_platform FOLDER platform/dialogs USES platform)
  tovren_layer(tovren_platform FOLDER platform/posix SYSTEM USES platform platform/dialogs)
  tovren_layer(tovren_platform FOLDER platform/icu SYSTEM USES platform platform/posix)
  tovren_layer(tovren_platform FOLDER platform/${TOVREN_SYSTEM} SYSTEM
               USES platform platform/dialogs platform/posix platform/icu)
endfunction()
