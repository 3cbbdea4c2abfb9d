# macOS on x86-64 (see macos.cmake):
#   cmake -S . -B build-macos-x86_64 -DCMAKE_TOOLCHAIN_FILE=cmake/macos-x86_64.cmake -DTOVREN_HOST_TOOLS=build
set(CMAKE_SYSTEM_PROCESSOR x86_64)
set(TOVREN_ZIG_PROCESSOR x86_64)
include(${CMAKE_CURRENT_LIST_DIR}/macos.cmake)
