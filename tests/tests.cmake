# One test binary: unit tests beside the code, end-to-end tests of built bundles.

set(TOVREN_TEST_DATA ${CMAKE_SOURCE_DIR}/tests/data)

# Bundles that the end-to-end tests run.
tovren_bundle(without-version MANIFEST ${TOVREN_TEST_DATA}/manifest-without-version.json)
tovren_bundle(not-base64 MANIFEST_BASE64 ${TOVREN_TEST_DATA}/manifest-not-base64.txt)

add_executable(tovren_tests
  app/entry_test.cpp
  install/digest_test.cpp
  install/preparation_test.cpp
  install/safe_test.cpp
  manifest/setup_manifest_test.cpp
  platform/base64_test.cpp
  platform/location_test.cpp
  tests/bundle_test.cpp
  tests/reproducible_test.cpp
  tests/program.cpp
  # The shipped manifest, as the main bundle has it.
  manifest/this_build.cpp
  ${CMAKE_BINARY_DIR}/bundle-inputs/TOVREN/embedded_manifest.cpp)
target_compile_definitions(tovren_tests PRIVATE
  TOVREN_ARCHITECTURE="${TOVREN_PROCESSOR}"
  TOVREN_BUNDLES="${CMAKE_BINARY_DIR}/bundles"
  TOVREN_MAIN_BUNDLE="${CMAKE_BINARY_DIR}/TOVREN.app"
  TOVREN_ARCHIVES="${TOVREN_ARCHIVES_DIR}"
  TOVREN_TOOLS="${CMAKE_BINARY_DIR}")
target_link_libraries(tovren_tests PRIVATE tovren_app GTest::gtest_main util)
add_dependencies(tovren_tests TOVREN-setup without-version-setup not-base64-setup make_zip manifest_tool)

include(GoogleTest)
gtest_discover_tests(tovren_tests DISCOVERY_TIMEOUT 60)
