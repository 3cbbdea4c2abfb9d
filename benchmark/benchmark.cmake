# Bundles for the benchmark: one per console file in TOVREN_BENCHMARK_CONSOLES,
# each with only the archive of the main bundle's processor row in its resources.
file(GLOB consoles ${TOVREN_BENCHMARK_CONSOLES}/*)
set(benchmark_setups)
foreach(console ${consoles})
  get_filename_component(name ${console} NAME)
  tovren_bundle(bench-${name} CONSOLE ${console}
    RESOURCES ${CMAKE_BINARY_DIR}/bundle-inputs/bench-${name}/${TOVREN_ARCHIVE_NAME_${TOVREN_ROW}})
  list(APPEND benchmark_setups bench-${name}-setup)
endforeach()
add_executable(digest_benchmark benchmark/digest_benchmark.cpp)
tovren_settings(digest_benchmark)
target_link_libraries(digest_benchmark PRIVATE tovren_install tovren_tool_files tovren_constants)
add_custom_target(benchmark-bundles DEPENDS ${benchmark_setups} digest_benchmark)
