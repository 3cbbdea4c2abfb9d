# One test binary: unit tests beside the code, proofs on built bundles in tests/.

# GoogleTest as installed, else built here from its source, as a build for another
# system needs (Debian's googletest package holds the source).
find_package(GTest QUIET)
if(NOT GTest_FOUND)
  set(TOVREN_GOOGLETEST_SOURCE /usr/src/googletest CACHE PATH "GoogleTest's source, built where none is installed")
  set(BUILD_GMOCK OFF CACHE BOOL "")
  set(INSTALL_GTEST OFF CACHE BOOL "")
  add_subdirectory(${TOVREN_GOOGLETEST_SOURCE} googletest EXCLUDE_FROM_ALL)
  # A preset's warnings as errors reach every target; this code's are not ours to mend.
  target_compile_options(gtest PRIVATE -w)
  target_compile_options(gtest_main PRIVATE -w)
endif()
set(data ${CMAKE_SOURCE_DIR}/tests/data)
tovren_bundle(without-version MANIFEST ${data}/manifest-without-version.json)
tovren_bundle(not-base64 MANIFEST_BASE64 ${data}/manifest-not-base64.txt)
tovren_bundle(console-exits-3 CONSOLE ${data}/console-exits-3.sh)
tovren_bundle(console-waits CONSOLE ${data}/console-waits.sh)
tovren_bundle(console-stale CONSOLE ${data}/console-stale.sh)
set(test_bundles without-version-setup not-base64-setup console-exits-3-setup console-waits-setup
    console-stale-setup)
foreach(row ${TOVREN_ROWS})
  tovren_bundle(${row}-row ROW ${row})
  list(APPEND test_bundles ${row}-row-setup)
endforeach()
# The sample console of docs/console.md, as it stands, shipped at two versions: it
# takes its version from the name setup installs it as.
foreach(sample_version 1.4.2 1.5.0)
  tovren_bundle(sample-${sample_version} CONSOLE ${CMAKE_SOURCE_DIR}/console/sample/tovren VERSION ${sample_version})
  list(APPEND test_bundles sample-${sample_version}-setup)
endforeach()

add_executable(tovren_tests tests/allocations.cpp app/entry_test.cpp install/failure_message_test.cpp install/installation_test.cpp
  install/runner_test.cpp manifest/setup_manifest_test.cpp support/location_test.cpp
  platform/posix/file_manager_test.cpp tests/vendor_archive_test.cpp tests/end_to_end_test.cpp
  unpacker/zip_listing_test.cpp)
tovren_settings(tovren_tests)
# Where the build put what the tests run, and the row the test program is built for.
target_compile_definitions(tovren_tests PRIVATE TOVREN_ROW="${TOVREN_ROW}" TOVREN_BUNDLES="${CMAKE_BINARY_DIR}/bundles"
  TOVREN_MAIN_BUNDLE="${CMAKE_BINARY_DIR}/TOVREN.app" TOVREN_ARCHIVES="${TOVREN_ARCHIVES_DIR}" TOVREN_BUILD_DIR="${CMAKE_BINARY_DIR}"
  TOVREN_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TOVREN_CXX="${CMAKE_CXX_COMPILER}")
find_package(ZLIB REQUIRED)
target_link_libraries(tovren_tests PRIVATE tovren_app tovren_tool_files zip_listing tovren_constants GTest::gtest_main
                      ZLIB::ZLIB $<TARGET_NAME_IF_EXISTS:OpenSSL::Crypto>)
# The vendor's checks' own tables, where the build makes the checks.
if(TARGET tovren_vendor_checks)
  target_sources(tovren_tests PRIVATE checks/program_kind_test.cpp)
  target_link_libraries(tovren_tests PRIVATE tovren_vendor_checks)
endif()
add_dependencies(tovren_tests TOVREN-setup make_zip manifest_tool ${test_bundles})
if(TARGET check_bundle)
  add_dependencies(tovren_tests check_bundle check_console)
endif()
if(TOVREN_SANITIZE)
  target_compile_definitions(tovren_tests PRIVATE TOVREN_SANITIZED)
endif()
if(CMAKE_CROSSCOMPILING_EMULATOR)
  target_compile_definitions(tovren_tests PRIVATE TOVREN_EMULATED)
endif()

if(TOVREN_SYSTEM STREQUAL "linux")
  # Stands between the program and the C library to fail or kill it at any operation.
  add_library(tovren_fault_shim MODULE tests/shim/fault_shim.cpp)
  tovren_settings(tovren_fault_shim PLAIN)
  target_link_libraries(tovren_fault_shim PRIVATE tovren::dl)
  target_compile_options(tovren_fault_shim PRIVATE -Wno-conversion)
  target_sources(tovren_tests PRIVATE tests/desktop_test.cpp tests/ditto_test.cpp tests/faults_test.cpp)
  target_compile_definitions(tovren_tests PRIVATE TOVREN_SHIM="$<TARGET_FILE:tovren_fault_shim>")
  add_dependencies(tovren_tests tovren_fault_shim)
else()
  # What proves only the Linux build, each named in ctest's output with the reason.
  foreach(left_out
      "Faults: the preload shim cannot reach the system's programs (System Integrity Protection strips DYLD_INSERT_LIBRARIES)"
      "Desktop: it drives GTK dialogs under Xvfb"
      "Ditto: it proves the stand-in unpacker, which the macOS bundle does not carry")
    string(REGEX REPLACE ":.*" "" name "${left_out}")
    add_test(NAME ${name}.notOnMacOS COMMAND sh -c "echo 'Left out of the macOS build: ${left_out}.'; exit 77")
    set_tests_properties(${name}.notOnMacOS PROPERTIES SKIP_RETURN_CODE 77)
  endforeach()
endif()
include(GoogleTest)
# Built here for a system that runs it elsewhere, the program lists its tests when
# ctest runs there.
set(discovery POST_BUILD)
if(CMAKE_CROSSCOMPILING AND NOT CMAKE_CROSSCOMPILING_EMULATOR)
  set(discovery PRE_TEST)
endif()
gtest_discover_tests(tovren_tests DISCOVERY_MODE ${discovery} DISCOVERY_TIMEOUT 60 PROPERTIES TIMEOUT 600)

# Fuzz targets: ctest replays their seed corpus; tools/fuzz.sh fuzzes them with libFuzzer.
# The listing against the library needs the library, which a macOS build has not.
set(fuzzers manifest log_tail zip_listing links)
if(TARGET PkgConfig::LIBARCHIVE)
  list(APPEND fuzzers zip_differential)
endif()
foreach(fuzzer ${fuzzers})
  add_executable(${fuzzer}_replay tests/fuzz/${fuzzer}_fuzzer.cpp tests/fuzz/replay_main.cpp)
  tovren_settings(${fuzzer}_replay)
  target_link_libraries(${fuzzer}_replay PRIVATE tovren_manifest tovren_tool_files zip_listing
                        $<TARGET_NAME_IF_EXISTS:PkgConfig::LIBARCHIVE>)
  add_test(NAME Fuzz.${fuzzer}.corpus COMMAND ${fuzzer}_replay ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${fuzzer})
  if(TOVREN_FUZZ)
    add_executable(${fuzzer}_fuzzer tests/fuzz/${fuzzer}_fuzzer.cpp)
    tovren_settings(${fuzzer}_fuzzer)
    target_compile_options(${fuzzer}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${fuzzer}_fuzzer PRIVATE tovren_manifest tovren_tool_files zip_listing
                          $<TARGET_NAME_IF_EXISTS:PkgConfig::LIBARCHIVE> -fsanitize=fuzzer)
  endif()
endforeach()

# The layers' fence on a header it has never seen.
add_test(NAME Layers.aNewHeaderBelowPlatformIsInternal
         COMMAND ${CMAKE_COMMAND} -DINTERNAL=${TOVREN_INTERNAL_HEADERS} -DCHECK=${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
                 -DWORK=${CMAKE_BINARY_DIR}/test-outputs/planted -P ${CMAKE_SOURCE_DIR}/tests/planted_header.cmake)
set_tests_properties(Layers.aNewHeaderBelowPlatformIsInternal PROPERTIES
                     PASS_REGULAR_EXPRESSION "includes \"platform/planted/part.h\": it is internal to platform/")
