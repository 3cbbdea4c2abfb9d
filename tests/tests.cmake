# One test binary: unit tests beside the code, end-to-end tests of built bundles.

set(TOVREN_TEST_DATA ${CMAKE_SOURCE_DIR}/tests/data)

# Bundles that the end-to-end tests run.
tovren_bundle(without-version MANIFEST ${TOVREN_TEST_DATA}/manifest-without-version.json)
tovren_bundle(not-base64 MANIFEST_BASE64 ${TOVREN_TEST_DATA}/manifest-not-base64.txt)
tovren_bundle(console-exits-3 CONSOLE ${TOVREN_TEST_DATA}/console-exits-3.sh)
tovren_bundle(arm64-row PROCESSOR arm64)
tovren_bundle(amd64-row PROCESSOR amd64)
set(TOVREN_TEST_BUNDLES without-version not-base64 console-exits-3 arm64-row amd64-row)

# Stands between the program and the C library to fail or kill it at any operation.
add_library(tovren_fault_shim MODULE tests/shim/fault_shim.cpp)
target_link_libraries(tovren_fault_shim PRIVATE dl)
target_compile_options(tovren_fault_shim PRIVATE -fno-sanitize=all -Wno-conversion)
target_link_options(tovren_fault_shim PRIVATE -fno-sanitize=all)

add_executable(tovren_tests
  app/entry_test.cpp
  install/digest_test.cpp
  install/failure_message_test.cpp
  install/installation_test.cpp
  install/runner_test.cpp
  install/preparation_test.cpp
  install/safe_test.cpp
  manifest/setup_manifest_test.cpp
  platform/base64_test.cpp
  platform/bytes_test.cpp
  platform/location_test.cpp
  platform/posix_file_manager_test.cpp
  tests/bundle_test.cpp
  tests/desktop_test.cpp
  tests/ditto_test.cpp
  tests/faults_test.cpp
  tests/install_test.cpp
  tests/repeat_test.cpp
  tests/reproducible_test.cpp
  tests/program.cpp
  # The shipped manifest, as the main bundle has it.
  manifest/this_build.cpp
  ${CMAKE_BINARY_DIR}/bundle-inputs/TOVREN/embedded_manifest.cpp)
target_compile_definitions(tovren_tests PRIVATE
  TOVREN_CONSOLE_VERSION="${TOVREN_CONSOLE_VERSION}"
  TOVREN_LAUNCH_AGENT="${TOVREN_LAUNCH_AGENT}"
  TOVREN_ARCHITECTURE="${TOVREN_PROCESSOR}"
  TOVREN_PLATFORM_KEY="${TOVREN_PLATFORM_KEY_${TOVREN_PROCESSOR}}"
  TOVREN_ARCHIVE="${TOVREN_ARCHIVE_${TOVREN_PROCESSOR}}"
  TOVREN_BUNDLES="${CMAKE_BINARY_DIR}/bundles"
  TOVREN_MAIN_BUNDLE="${CMAKE_BINARY_DIR}/TOVREN.app"
  TOVREN_ARCHIVES="${TOVREN_ARCHIVES_DIR}"
  TOVREN_BUILD_DIR="${CMAKE_BINARY_DIR}"
  TOVREN_SHIM="$<TARGET_FILE:tovren_fault_shim>")
target_link_libraries(tovren_tests PRIVATE tovren_app GTest::gtest_main util)
add_dependencies(tovren_tests TOVREN-setup make_zip manifest_tool ditto tovren_fault_shim)
foreach(bundle ${TOVREN_TEST_BUNDLES})
  add_dependencies(tovren_tests ${bundle}-setup)
endforeach()

include(GoogleTest)
gtest_discover_tests(tovren_tests DISCOVERY_TIMEOUT 60)

# Fuzz targets: ctest replays their seed corpus; tools/fuzz.sh fuzzes them with libFuzzer.
foreach(fuzzer manifest log_tail)
  set(corpus ${CMAKE_SOURCE_DIR}/tests/fuzz/corpus/${fuzzer})
  add_executable(${fuzzer}_replay tests/fuzz/${fuzzer}_fuzzer.cpp tests/fuzz/replay_main.cpp)
  target_link_libraries(${fuzzer}_replay PRIVATE tovren_manifest)
  add_test(NAME Fuzz.${fuzzer}.corpus COMMAND ${fuzzer}_replay ${corpus})
  if(TOVREN_FUZZ)
    add_executable(${fuzzer}_fuzzer tests/fuzz/${fuzzer}_fuzzer.cpp)
    target_compile_options(${fuzzer}_fuzzer PRIVATE -fsanitize=fuzzer)
    target_link_libraries(${fuzzer}_fuzzer PRIVATE tovren_manifest -fsanitize=fuzzer)
  endif()
endforeach()
