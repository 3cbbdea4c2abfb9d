# Application bundles: the setup program with its manifest compiled in, the stand-in
# unpacker where the system has none, the resource folder with the console
# archives, and on macOS the bundle's Info.plist.

set(TOVREN_ARCHIVES_DIR ${CMAKE_BINARY_DIR}/archives)

# The stand-in console of one processor row, made from the version and the row.
function(tovren_console row out)
  set(TOVREN_ROW ${row})
  tovren_quote("${TOVREN_CONSOLE_VERSION}" TOVREN_CONSOLE_VERSION)
  configure_file(${CMAKE_SOURCE_DIR}/console/console.sh.in ${out} @ONLY)
endfunction()

# Each command makes its output's folder: only some generators do it for them.
# A reproducible archive holding `console` as its top-level console entry: packed
# again from a copy of another mode and time under another umask, it must come
# out byte for byte the same, or the build stops. The zip writer runs through the
# emulator when it is built for another processor.
function(tovren_archive zip console)
  get_filename_component(folder ${zip} DIRECTORY)
  add_custom_command(OUTPUT ${zip}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND make_zip ${zip} ${TOVREN_CONSOLE_ENTRY}=${console}
    COMMAND ${CMAKE_COMMAND} -E copy ${console} ${zip}.in
    COMMAND chmod 600 ${zip}.in
    COMMAND touch -t 200101010000 ${zip}.in
    COMMAND sh -c "umask 077 && exec \"$@\"" sh ${CMAKE_CROSSCOMPILING_EMULATOR} $<TARGET_FILE:make_zip>
            ${zip}.again ${TOVREN_CONSOLE_ENTRY}=${zip}.in
    COMMAND ${CMAKE_COMMAND} -E compare_files ${zip} ${zip}.again
    COMMAND ${CMAKE_COMMAND} -E rm ${zip}.in ${zip}.again
    DEPENDS make_zip ${console}
    COMMENT "Packing ${zip}"
    VERBATIM)
endfunction()

# The archives of every processor row in `folder`, by their names.
function(tovren_row_archives folder out)
  set(zips)
  foreach(row ${TOVREN_ROWS})
    list(APPEND zips ${folder}/${TOVREN_ARCHIVE_NAME_${row}})
  endforeach()
  set(${out} ${zips} PARENT_SCOPE)
endfunction()

# `folder`/manifest.json, in its shipped one-line form, for the console `version`
# in `zips`, the archives of the processor rows in order, wherever they are: the
# generator names each by its row, and refuses one that would not install on
# that row's processor for the system the build is for.
function(tovren_manifest folder version zips)
  set(entries)
  set(inputs ${zips})
  foreach(row ${TOVREN_ROWS})
    list(POP_FRONT zips zip)
    list(APPEND entries ${TOVREN_PLATFORM_KEY_${row}}=${zip})
  endforeach()
  add_custom_command(OUTPUT ${folder}/manifest.json
    COMMAND ${CMAKE_COMMAND} -E make_directory ${folder}
    COMMAND manifest_tool generate ${version} ${folder}/manifest.json ${TOVREN_SYSTEM} ${entries}
    DEPENDS manifest_tool ${inputs}
    COMMENT "Generating ${folder}/manifest.json"
    VERBATIM)
endfunction()

# The shipped archives and their manifest, made once and shared by every bundle
# that does not bring its own: a vendor's archives as they are, or the stand-in's,
# each with its own row's console. The manifest's generator checks a vendor's
# archive, by the path the vendor gave, as the unpacker and the setup program
# will, and stops the build when either could not install its console or its
# users would miss anything.
function(tovren_shipped_archives)
  set(sources)
  foreach(row ${TOVREN_ROWS})
    set(zip ${TOVREN_ARCHIVES_DIR}/${TOVREN_ARCHIVE_NAME_${row}})
    string(TOUPPER ${row} option)
    set(vendor ${TOVREN_ARCHIVE_${option}})
    if(vendor)
      add_custom_command(OUTPUT ${zip}
        COMMAND ${CMAKE_COMMAND} -E make_directory ${TOVREN_ARCHIVES_DIR}
        COMMAND ${CMAKE_COMMAND} -E copy ${vendor} ${zip}
        DEPENDS ${vendor}
        COMMENT "Taking ${vendor} as ${TOVREN_ARCHIVE_NAME_${row}}")
      list(APPEND sources ${vendor})
    else()
      tovren_console(${row} ${TOVREN_ARCHIVES_DIR}/${row}/tovren)
      tovren_archive(${zip} ${TOVREN_ARCHIVES_DIR}/${row}/tovren)
      list(APPEND sources ${zip})
    endif()
  endforeach()
  tovren_manifest(${TOVREN_ARCHIVES_DIR} "${TOVREN_CONSOLE_VERSION}" "${sources}")
  tovren_row_archives(${TOVREN_ARCHIVES_DIR} zips)
  set(checked)
  # A vendor's consoles are run as setup runs them, where this build's machine can:
  # one that would leave users asked again at every run stops the build.
  if(TOVREN_VENDOR_ARCHIVES AND TARGET check_console)
    set(checked ${TOVREN_ARCHIVES_DIR}/consoles.checked)
    add_custom_command(OUTPUT ${checked}
      COMMAND check_console ${TOVREN_CONSOLE_VERSION} ${TOVREN_SYSTEM} ${sources}
      COMMAND ${CMAKE_COMMAND} -E touch ${checked}
      DEPENDS check_console ${sources} ${TOVREN_ARCHIVES_DIR}/manifest.json
      COMMENT "Running your consoles as setup runs them"
      VERBATIM)
  endif()
  add_custom_target(tovren_archives ALL DEPENDS ${zips} ${TOVREN_ARCHIVES_DIR}/manifest.json ${checked})
endfunction()

# tovren_bundle(NAME
#   [DIRECTORY dir]           where NAME.app goes (default: build/bundles)
#   [ROW arm64|amd64]         the processor row (default: the main bundle's)
#   [CONSOLE file]            the console packed into both archives (default: the stand-in)
#   [VERSION version]         that console's version (default: the build's)
#   [MANIFEST file]           manifest JSON text to embed as it is (default: generated)
#   [MANIFEST_BASE64 file]    embeddedManifest exactly as this file's text
#   [RESOURCES files...])     the resource folder's files (default: the two archives)
#
# Makes NAME.app/Contents/MacOS/tovren-setup (target NAME-setup) with the unpacker beside
# it, and NAME.app/Contents/Resources (target NAME-resources).
function(tovren_bundle name)
  cmake_parse_arguments(PARSE_ARGV 1 B "" "DIRECTORY;ROW;CONSOLE;VERSION;MANIFEST;MANIFEST_BASE64" "RESOURCES")
  if(NOT B_DIRECTORY)
    set(B_DIRECTORY ${CMAKE_BINARY_DIR}/bundles)
  endif()
  if(NOT B_ROW)
    set(B_ROW ${TOVREN_ROW})
  endif()
  set(app ${B_DIRECTORY}/${name}.app)
  set(work ${CMAKE_BINARY_DIR}/bundle-inputs/${name})

  # Archives and manifest: the shipped ones, or made from this bundle's console.
  set(archives ${TOVREN_ARCHIVES_DIR})
  if(B_CONSOLE)
    set(archives ${work})
    tovren_row_archives(${work} zips)
    foreach(zip ${zips})
      tovren_archive(${zip} ${B_CONSOLE})
    endforeach()
    if(NOT B_VERSION)
      set(B_VERSION "${TOVREN_CONSOLE_VERSION}")
    endif()
    tovren_manifest(${work} "${B_VERSION}" "${zips}")
  endif()
  set(json ${archives}/manifest.json)
  if(NOT DEFINED B_RESOURCES)
    tovren_row_archives(${archives} B_RESOURCES)
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
  if(TARGET ditto)
    add_custom_command(OUTPUT ${app}/Contents/MacOS/${TOVREN_UNPACKER}
      COMMAND ${CMAKE_COMMAND} -E make_directory ${app}/Contents/MacOS
      COMMAND ${CMAKE_COMMAND} -E copy $<TARGET_FILE:ditto> ${app}/Contents/MacOS/${TOVREN_UNPACKER}
      DEPENDS ditto)
    list(APPEND copies ${app}/Contents/MacOS/${TOVREN_UNPACKER})
  endif()
  if(TOVREN_SYSTEM STREQUAL "macos")
    tovren_bundle_version()
    configure_file(${CMAKE_SOURCE_DIR}/cmake/Info.plist.in ${app}/Contents/Info.plist @ONLY)
  endif()
  add_custom_target(${name}-resources ALL DEPENDS ${copies}
    COMMAND ${CMAKE_COMMAND} -E make_directory ${app}/Contents/Resources)
  # Make repeats a command in every target that needs its output, and two at once
  # write the same file: the shipped archives and manifest are made by
  # tovren_archives alone, before any bundle that takes them.
  if(NOT B_CONSOLE)
    add_dependencies(${name}-resources tovren_archives)
  endif()

  add_executable(${name}-setup app/main.cpp manifest/this_build.cpp ${work}/embedded_manifest.cpp)
  target_compile_definitions(${name}-setup PRIVATE TOVREN_ROW="${B_ROW}")
  tovren_settings(${name}-setup)
  target_link_libraries(${name}-setup PRIVATE tovren_app tovren_constants)
  set_target_properties(${name}-setup PROPERTIES OUTPUT_NAME tovren-setup RUNTIME_OUTPUT_DIRECTORY ${app}/Contents/MacOS)
  add_dependencies(${name}-setup ${name}-resources)
endfunction()

# The bundle's version for macOS, which takes one to three integers: the numbers
# the console's version begins with, up to three (0.8.3 of 0.8.3-runtime.1, 2.1 of
# 2.1-beta). Both of Info.plist's version keys carry it.
macro(tovren_bundle_version)
  string(REGEX MATCH "^[0-9]+(\\.[0-9]+)?(\\.[0-9]+)?" version "${TOVREN_CONSOLE_VERSION}")
  tovren_quote("${version}" TOVREN_BUNDLE_VERSION)
  tovren_quote("${TOVREN_BUNDLE_IDENTIFIER}" TOVREN_BUNDLE_IDENTIFIER)
endmacro()
