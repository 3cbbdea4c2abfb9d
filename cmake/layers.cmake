# The house's layers, enforced by the build: each folder's files include only the
# headers of their own folder, of the folders below it in the same library, and
# of the libraries their target links, directly or through others; of platform/
# only the public ones from outside it; but for the files marked SYSTEM (the
# platform's system parts, the unpacker, the build's programs), no system header,
# only those of the C++ standard library and the header libraries named. The
# check runs before the target is compiled, so a file that breaks a rule fails
# the build with a line that names the file, the include and the rule.

# The platform's own headers are known by where they are: every header in a
# folder below platform/ (its dialogs, its POSIX, ICU and systems' parts), so a
# new one is internal from its first line.
set(TOVREN_INTERNAL_HEADERS "^platform/[^/]+/")

# Checks `target`'s files before it is built:
#   tovren_layer(TARGET FOLDER folder [FILES file...] [USES folder...] [HEADERS header...] [SYSTEM])
# FILES: the files checked, when not all of the folder's (a target of some of its
# files); USES: the folders of the same library below this one; HEADERS: the
# library headers they may include besides the C++ standard library's; SYSTEM:
# any system header. The folders of what the target links are added once every
# target is known, by tovren_layer_checks(). The first folder checked for a
# library is the one its dependents include it by.
function(tovren_layer target)
  cmake_parse_arguments(L "SYSTEM" "FOLDER" "FILES;USES;HEADERS" ${ARGN})
  get_target_property(folder ${target} TOVREN_FOLDER)
  if(NOT folder)
    set_target_properties(${target} PROPERTIES TOVREN_FOLDER ${L_FOLDER})
  endif()
  if(L_FILES)
    list(TRANSFORM L_FILES PREPEND ${CMAKE_SOURCE_DIR}/ OUTPUT_VARIABLE files)
  else()
    file(GLOB files CONFIGURE_DEPENDS ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.h ${CMAKE_SOURCE_DIR}/${L_FOLDER}/*.cpp)
    list(FILTER files EXCLUDE REGEX "_test\\.cpp$")
  endif()
  list(TRANSFORM files REPLACE "^${CMAKE_SOURCE_DIR}/" "" OUTPUT_VARIABLE relative)
  list(JOIN relative "|" checked)
  list(JOIN L_USES "|" uses)
  list(JOIN L_HEADERS "|" headers)
  set_property(GLOBAL APPEND PROPERTY TOVREN_LAYERS "${target}#${L_FOLDER}#${checked}#${uses}#${headers}#${L_SYSTEM}")
endfunction()

# The folders of the libraries `target` links, and of those they pass on to it
# (PUBLIC, INTERFACE): the headers it can include. What a library links only for
# itself (PRIVATE) gives its dependents none.
function(tovren_linked_folders target out)
  get_target_property(queue ${target} LINK_LIBRARIES)
  set(seen)
  set(folders)
  while(queue)
    list(POP_FRONT queue next)
    if(NOT TARGET ${next} OR next IN_LIST seen)
      continue()
    endif()
    list(APPEND seen ${next})
    get_target_property(folder ${next} TOVREN_FOLDER)
    if(folder)
      list(APPEND folders ${folder})
    endif()
    get_target_property(passed ${next} INTERFACE_LINK_LIBRARIES)
    if(passed)
      list(FILTER passed EXCLUDE REGEX "^\\$<LINK_ONLY:")
      list(APPEND queue ${passed})
    endif()
  endwhile()
  set(${out} ${folders} PARENT_SCOPE)
endfunction()

# Adds the check of every tovren_layer call, now that every target's links are known.
function(tovren_layer_checks)
  get_property(layers GLOBAL PROPERTY TOVREN_LAYERS)
  file(MAKE_DIRECTORY ${CMAKE_BINARY_DIR}/layers)
  foreach(layer ${layers})
    string(REPLACE "#" ";" fields "${layer}")
    list(GET fields 0 target)
    list(GET fields 1 folder)
    list(GET fields 2 checked)
    list(GET fields 3 uses)
    list(GET fields 4 headers)
    list(GET fields 5 system)
    tovren_linked_folders(${target} linked)
    string(REPLACE "|" ";" uses "${uses}")
    set(allowed ${folder} ${uses} ${linked})
    list(REMOVE_DUPLICATES allowed)
    list(JOIN allowed "|" allowed)
    string(REPLACE "|" ";" files "${checked}")
    list(TRANSFORM files PREPEND ${CMAKE_SOURCE_DIR}/)
    string(REPLACE "/" "-" name ${target}-${folder})
    set(stamp ${CMAKE_BINARY_DIR}/layers/${name}.checked)
    add_custom_command(OUTPUT ${stamp}
      COMMAND ${CMAKE_COMMAND} -DFOLDER=${folder} -DFILES=${checked} -DUSES=${allowed} -DHEADERS=${headers}
              -DSYSTEM=${system} -DINTERNAL=${TOVREN_INTERNAL_HEADERS} -DSTAMP=${stamp}
              -P ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
      DEPENDS ${files} ${CMAKE_SOURCE_DIR}/cmake/check_layer.cmake
      WORKING_DIRECTORY ${CMAKE_SOURCE_DIR} VERBATIM)
    target_sources(${target} PRIVATE ${stamp})
  endforeach()
endfunction()
