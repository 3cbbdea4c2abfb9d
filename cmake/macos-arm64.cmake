# macOS on 64-bit Arm (see macos.cmake):
#   cmake -S . -B build-macos-arm64 -DCMAKE_TOOLCHAIN_FILE=cmake/macos-arm64.cmake -DTOVREN_HOST_TOOLS=build
set(CMAKE_SYSTEM_PROCESSOR arm64)
set(TOVREN_ZIG_PROCESSOR aarch64)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
