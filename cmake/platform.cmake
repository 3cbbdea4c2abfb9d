# The platform layer, in three parts: portable code that any C++ system builds,
# the POSIX part, and the part of this operating system. A system without its
# part stops here, naming the files a port provides.
set(TOVREN_PORTABLE_SOURCES application.cpp base64.cpp dialog.cpp error.cpp file_manager.cpp json.cpp location.cpp
    sha256.cpp text.cpp)
set(TOVREN_POSIX_SOURCES descriptors.cpp file_handle.cpp posix_file_manager.cpp posix_processes.cpp
    terminal_dialog.cpp uuid.cpp)
# Each defines what platform/portable/system.h or platform/posix/system.h promises.
set(TOVREN_SYSTEM_SOURCES buffers.cpp clusters.cpp desktop_dialog.cpp executable_path.cpp files.cpp spawn.cpp
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
  target_include_directories(tovren_platform PUBLIC ${CMAKE_SOURCE_DIR} ${CMAKE_BINARY_DIR}/include ${ICU_INCLUDES})
  target_link_libraries(tovren_platform PUBLIC OpenSSL::Crypto nlohmann_json::nlohmann_json PkgConfig::UUID)
  if(TOVREN_SYSTEM STREQUAL "linux")
    # ICU and GTK: headers here, the libraries loaded when they are needed.
    target_link_libraries(tovren_platform PUBLIC dl)
    set_source_files_properties(platform/linux/desktop_dialog.cpp PROPERTIES INCLUDE_DIRECTORIES "${GTK3_INCLUDE_DIRS}")
  endif()
endfunction()
