# How each of the project's targets is compiled: its warnings, no trace of the
# build folders in what is built (so two clean builds anywhere give the same
# bytes), and the sanitizers or fuzzing coverage a build asks for. Warnings are
# errors where a preset says so (CMAKE_COMPILE_WARNING_AS_ERROR).
#   tovren_settings(TARGET [PLAIN])     PLAIN: without sanitizers or coverage
function(tovren_settings target)
  cmake_parse_arguments(S "PLAIN" "" "" ${ARGN})
  target_compile_options(${target} PRIVATE -ffile-prefix-map=${CMAKE_SOURCE_DIR}=.
    -ffile-prefix-map=${CMAKE_BINARY_DIR}=build -Wall -Wextra -Wpedantic -Wshadow -Wconversion -Wno-sign-conversion)
  if(TOVREN_SANITIZE AND NOT S_PLAIN)
    target_compile_options(${target} PRIVATE -fsanitize=${TOVREN_SANITIZE} -fno-omit-frame-pointer
      -fno-sanitize-recover=all)
    target_link_options(${target} PRIVATE -fsanitize=${TOVREN_SANITIZE})
  endif()
  # Coverage in every library the fuzzers reach, not only in their own files.
  if(TOVREN_FUZZ AND NOT S_PLAIN)
    target_compile_options(${target} PRIVATE -fsanitize=fuzzer-no-link)
  endif()
endfunction()
