# Application bundles: the setup program with its manifest compiled in, the stand-in
# unpacker, and the resource folder with the console archives.

set(TOVREN_ARCHIVES_DIR ${CMAKE_BINARY_DIR}/archives)

# The stand-in console of one processor row, made from the version and the
# architecture word.
function(tovren_console architecture out)
  set(TOVREN_VERSION ${TOVREN_CONSOLE_VERSION})
  set(TOVREN_ARCHITECTURE ${architecture})
  configure_file(${CMAKE_SOURCE_DIR}/tools/console.sh.in ${out} @ONLY)
endfunction()

# A reproducible archive holding `console` as its top-level entry "tovren".
# Each command makes its output's folder: only some generators do it for them.
function(tovren_archive zip console)
  get_filename_component(folder ${zip} DIRECTORY)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND make_zip ${zip} tovren=${console}
    DEPENDS make_zip ${console}
    COMMENT "Packing ${zip}")
endfunction()

# The manifest for two archives, in its shipped one-line form.
function(tovren_manifest json arm_zip x64_zip)
  get_filename_component(folder ${json} DIRECTORY)
  add_custom_command(OUTPUT ${json}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND manifest_tool generate ${TOVREN_CONSOLE_VERSION} ${arm_zip} ${x64_zip} ${json}
    DEPENDS manifest_tool ${arm_zip} ${x64_zip}
    COMMENT "Generating ${json}")
endfunction()

# The two shipped archives and their manifest, made once and shared by every
# bundle that does not bring its own.
function(tovren_shipped_archives)
  foreach(row arm64 amd64)
    tovren_console(${row} ${TOVREN_ARCHIVES_DIR}/${row}/tovren)
  endforeach()
  tovren_archive(${TOVREN_ARCHIVES_DIR}/MAC-ARM.zip ${TOVREN_ARCHIVES_DIR}/arm64/tovren)
  tovren_archive(${TOVREN_ARCHIVES_DIR}/MAC-X64.zip ${TOVREN_ARCHIVES_DIR}/amd64/tovren)
  tovren_manifest(${TOVREN_ARCHIVES_DIR}/manifest.json
    ${TOVREN_ARCHIVES_DIR}/MAC-ARM.zip ${TOVREN_ARCHIVES_DIR}/MAC-X64.zip)
  add_custom_target(tovren_archives ALL DEPENDS
    ${TOVREN_ARCHIVES_DIR}/MAC-ARM.zip ${TOVREN_ARCHIVES_DIR}/MAC-X64.zip ${TOVREN_ARCHIVES_DIR}/manifest.json)
endfunction()

# tovren_bundle(NAME
#   [DIRECTORY dir]           where NAME.app goes (default: build/bundles)
#   [PROCESSOR arm64|amd64]   the processor row (default: the main bundle's)
#   [CONSOLE file]            the console packed into both archives (default: the stand-in)
#   [MANIFEST file]           manifest JSON text to embed as it is (default: generated)
#   [MANIFEST_BASE64 file]    embeddedManifest exactly as this file's text
#   [RESOURCES files...])     the resource folder's files (default: the two archives)
#
# Makes NAME.app/Contents/MacOS/tovren-setup (target NAME-setup) with ditto beside
# it, and NAME.app/Contents/Resources (target NAME-resources).
function(tovren_bundle name)
  cmake_parse_arguments(PARSE_ARGV 1 B "" "DIRECTORY;PROCESSOR;CONSOLE;MANIFEST;MANIFEST_BASE64" "RESOURCES")
  if(NOT B_DIRECTORY)
    set(B_DIRECTORY ${CMAKE_BINARY_DIR}/bundles)
  endif()
  if(NOT B_PROCESSOR)
    set(B_PROCESSOR ${TOVREN_PROCESSOR})
  endif()
  set(app ${B_DIRECTORY}/${name}.app)
  set(work ${CMAKE_BINARY_DIR}/bundle-inputs/${name})

  # Archives and manifest: the shipped ones, or made from this bundle's console.
  set(arm_zip ${TOVREN_ARCHIVES_DIR}/MAC-ARM.zip)
  set(x64_zip ${TOVREN_ARCHIVES_DIR}/MAC-X64.zip)
  set(json ${TOVREN_ARCHIVES_DIR}/manifest.json)
  if(B_CONSOLE)
    set(arm_zip ${work}/MAC-ARM.zip)
    set(x64_zip ${work}/MAC-X64.zip)
    set(json ${work}/manifest.json)
    tovren_archive(${arm_zip} ${B_CONSOLE})
    tovren_archive(${x64_zip} ${B_CONSOLE})
    tovren_manifest(${json} ${arm_zip} ${x64_zip})
  endif()
  if(NOT DEFINED B_RESOURCES)
    set(B_RESOURCES ${arm_zip} ${x64_zip})
  endif()

  # embeddedManifest.
  set(mode --json)
  if(B_MANIFEST)
    set(json ${B_MANIFEST})
  elseif(B_MANIFEST_BASE64)
    set(mode --text)
    set(json ${B_MANIFEST_BASE64})
  endif()
  add_custom_command(OUTPUT ${work}/embedded_manifest.cpp
    COMMAND ${CMAKE_COMMAND} -E make_directory ${work}
    COMMAND manifest_tool embed ${mode} ${json} ${work}/embedded_manifest.cpp
    DEPENDS manifest_tool ${json})

  # The resource folder.
  set(copies)
  foreach(file ${B_RESOURCES})
    get_filename_component(file_name ${file} NAME)
    add_custom_command(OUTPUT ${app}/Contents/Resources/${file_name}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${app}/Contents/Resources
      COMMAND ${CMAKE_COMMAND} -E copy ${file} ${app}/Contents/Resources/${file_name}
      DEPENDS ${file})
    list(APPEND copies ${app}/Contents/Resources/${file_name})
  endforeach()
  # The unpacker, copied whenever it is rebuilt.
  add_custom_command(OUTPUT ${app}/Contents/MacOS/ditto
    COMMAND ${CMAKE_COMMAND} -E make_directory ${app}/Contents/MacOS
    COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ditto> ${app}/Contents/MacOS/ditto
    DEPENDS ditto)
  list(APPEND copies ${app}/Contents/MacOS/ditto)
  add_custom_target(${name}-resources ALL DEPENDS ${copies}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${app}/Contents/Resources)

  add_executable(${name}-setup app/main.cpp manifest/this_build.cpp ${work}/embedded_manifest.cpp)
  target_compile_definitions(${name}-setup PRIVATE TOVREN_ARCHITECTURE="${B_PROCESSOR}")
  target_link_libraries(${name}-setup PRIVATE tovren_app)
  set_target_properties(${name}-setup PROPERTIES OUTPUT_NAME tovren-setup RUNTIME_OUTPUT_DIRECTORY ${app}/Contents/MacOS)
  add_dependencies(${name}-setup ${name}-resources)
endfunction()
