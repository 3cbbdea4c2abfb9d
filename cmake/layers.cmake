# The house's layers, enforced by the build: each folder is one library whose
# files include only the headers of the folders it builds on, and, but for the
# system's own folders, no system header, only those of the C++ standard library
# and the header libraries named. The check runs before the library is compiled,
# so a file that breaks the rule fails the build with a line that says why.

# Builds `target`'s files only once those of FOLDER pass the check:
#   tovren_layer(TARGET FOLDER folder USES folder... [HEADERS header...] [SYSTEM])
# USES: the folders whose headers its files may include, its own among them
# ("tovren" is the build's constants); HEADERS: the library headers it may
# include besides the C++ standard library's; SYSTEM: any system header.
function(tovren_layer target)
  cmake_parse_arguments(L "SYSTEM" "FOLDER" "USES;HEADERS" ${ARGN})
  file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.h ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.cpp)
  string(REPLACE "/" "-" name ${L_FOLDER})
  set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.checked)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/layers)
  list(JOIN L_USES "|" uses)
  list(JOIN L_HEADERS "|" headers)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${L_FOLDER} -DUSES=${uses} -DHEADERS=${headers} -DSYSTEM=${L_SYSTEM}
            -DSTAMP=${stamp} -P ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} VERBATIM)
  target_sources(${target} PRIVATE ${stamp})
endfunction()
