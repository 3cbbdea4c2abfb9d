# The house's layers, enforced by the build: each folder is one library whose
# files include only the headers of the folders it builds on, and of those only
# the public ones; but for the folders marked SYSTEM (the platform's system
# parts, the unpacker, the build's programs), no system header, only those of the
# C++ standard library and the header libraries named. The check runs before the
# library is compiled, so a file that breaks a rule fails the build with a line
# that names the file, the include and the rule.

# The platform's own headers, which only its files include: the dialogs, and its
# POSIX, ICU and systems' parts.
set(TOVREN_INTERNAL_HEADERS
    "^platform/(dialog|dialog_choice|desktop_dialog|terminal_dialog)\\.h$|^platform/(posix|icu|linux|macos)/")

# Builds `target`'s files only once they pass the check:
#   tovren_layer(TARGET FOLDER folder [FILES file...] USES folder... [HEADERS header...] [SYSTEM])
# FILES: the files checked, when not all of the folder's (a library of some of its
# files); USES: the folders whose headers they may include, their own among them
# ("tovren" is the build's constants); HEADERS: the library headers they may
# include besides the C++ standard library's; SYSTEM: any system header.
function(tovren_layer target)
  cmake_parse_arguments(L "SYSTEM" "FOLDER" "FILES;USES;HEADERS" ${ARGN})
  if(L_FILES)
    list(TRANSFORM L_FILES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE files)
  else()
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.h ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.cpp)
    list(FILTER files EXCLUDE REGEX "_test\\.cpp$")
  endif()
  string(REPLACE "/" "-" name ${target}-${L_FOLDER})
  set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.checked)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/layers)
  list(JOIN L_USES "|" uses)
  list(JOIN L_HEADERS "|" headers)
  list(TRANSFORM files REPLACE "^${CMAKE_SOURCE_DIR}/" "" OUTPUT_VARIABLE relative)
  list(JOIN relative "|" checked)
  add_custom_command(OUTPUT ${stamp}
    COMMAND ${CMAKE_COMMAND} -DFOLDER=${L_FOLDER} -DFILES=${checked} -DUSES=${uses} -DHEADERS=${headers}
            -DSYSTEM=${L_SYSTEM} -DINTERNAL=${TOVREN_INTERNAL_HEADERS} -DSTAMP=${stamp}
            -P ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
    DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
    WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} VERBATIM)
  target_sources(${target} PRIVATE ${stamp})
endfunction()
