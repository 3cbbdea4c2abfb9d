# The platform layer, in three parts: portable code that any C++ system builds,
# the POSIX part, and the part of this operating system. A system without its
# part stops here, naming the files a port provides.
set(TOVREN_PORTABLE_SOURCES application.cpp base64.cpp dialog.cpp error.cpp file_manager.cpp json.cpp location.cpp
    text.cpp)
set(TOVREN_POSIX_SOURCES descriptors.cpp file_handle.cpp posix_file_manager.cpp posix_processes.cpp
    icu_boundaries.cpp terminal_dialog.cpp uuid.cpp writes.cpp)
# Each defines what platform/portable/system.h or platform/posix/system.h promises.
set(TOVREN_SYSTEM_SOURCES buffers.cpp clusters.cpp desktop_dialog.cpp executable_path.cpp files.cpp sha256.cpp spawn.cpp
    unpacker.cpp)

if(CMAKE_SYSTEM_NAME STREQUAL "Darwin")
  set(TOVREN_SYSTEM macos)
else()
  string(TOLOWER ${CMAKE_SYSTEM_NAME} TOVREN_SYSTEM)
endif()
set(missing)
foreach(file ${TOVREN_SYSTEM_SOURCES})
  if(NOT EXISTS ${CMAKE_SOURCE_DIR}/platform/${TOVREN_SYSTEM}/${file})
    list(APPEND missing ${file})
  endif()
endforeach()
if(missing)
  list(JOIN TOVREN_SYSTEM_SOURCES ", " files)
  message(FATAL_ERROR "There is no platform layer for ${CMAKE_SYSTEM_NAME} yet. A port provides platform/${TOVREN_SYSTEM}/ "
                      "with ${files}, each defining the functions that platform/portable/system.h and "
                      "platform/posix/system.h name for it (docs/macos.md plans the macOS port).")
endif()

# The platform library, once the libraries it uses are found.
function(tovren_platform_library)
  list(TRANSFORM TOVREN_PORTABLE_SOURCES PREPEND platform/portable/)
  list(TRANSFORM TOVREN_POSIX_SOURCES PREPEND platform/posix/)
  list(TRANSFORM TOVREN_SYSTEM_SOURCES PREPEND platform/${TOVREN_SYSTEM}/)
  add_library(tovren_platform STATIC ${TOVREN_PORTABLE_SOURCES} ${TOVREN_POSIX_SOURCES} ${TOVREN_SYSTEM_SOURCES})
  target_include_directories(tovren_platform PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include)
  # Their warnings are not ours.
  target_include_directories(tovren_platform SYSTEM PUBLIC ${ICU_INCLUDES} ${JSON_INCLUDES})
  if(TOVREN_SYSTEM STREQUAL "linux")
    # ICU and GTK: headers here, the libraries loaded when they are needed.
    target_link_libraries(tovren_platform PUBLIC OpenSSL::Crypto PkgConfig::UUID dl)
    set_source_files_properties(platform/linux/desktop_dialog.cpp PROPERTIES INCLUDE_DIRECTORIES "${GTK3_INCLUDE_DIRS}")
  endif()
  # On macOS everything else is in the system library, linked by default.
endfunction()

# The libraries the platform layer and the build use. Of ICU and JSON only headers
# are needed. On macOS, which ships neither, they are looked for as headers alone
# (Homebrew's icu4c and nlohmann-json on a Mac); the system provides the rest.
macro(tovren_find_libraries)
  if(TOVREN_SYSTEM STREQUAL "macos")
    find_path(ICU_INCLUDES unicode/utf8.h REQUIRED)
    find_path(JSON_INCLUDES nlohmann/json.hpp REQUIRED)
  else()
    find_package(OpenSSL REQUIRED)
    find_package(ICU REQUIRED COMPONENTS uc)
    get_target_property(ICU_INCLUDES ICU::uc INTERFACE_INCLUDE_DIRECTORIES)
    find_package(nlohmann_json REQUIRED)
    get_target_property(JSON_INCLUDES nlohmann_json::nlohmann_json INTERFACE_INCLUDE_DIRECTORIES)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(UUID REQUIRED IMPORTED_TARGET uuid)
    # Headers only: the program loads the toolkit itself when a display is named.
    pkg_check_modules(GTK3 REQUIRED gtk+-3.0)
  endif()
  # The zip library, for the build's own programs when they are built here.
  if(NOT TOVREN_HOST_TOOLS)
    find_package(PkgConfig REQUIRED)
    pkg_check_modules(LIBARCHIVE REQUIRED IMPORTED_TARGET libarchive)
  endif()
endmacro()
