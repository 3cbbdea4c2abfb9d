# Where the console archives come from: the stand-in console built here, or the
# two archives and the version a vendor names. Sets TOVREN_CONSOLE_VERSION and,
# for a vendor's archives, TOVREN_VENDOR_ARCHIVES; stops at once when the options
# do not make a whole manifest.
if(TOVREN_ARCHIVE_ARM64 OR TOVREN_ARCHIVE_AMD64)
  foreach(option TOVREN_ARCHIVE_ARM64 TOVREN_ARCHIVE_AMD64)
    if(NOT ${option})
      tovren_refuse("${option} is not set: the manifest names an archive for each processor family, so give \
both TOVREN_ARCHIVE_ARM64 and TOVREN_ARCHIVE_AMD64.")
    elseif(NOT EXISTS "${${option}}" OR IS_DIRECTORY "${${option}}")
      tovren_refuse("${option}: there is no archive file at ${${option}}: give the path of your zip archive.")
    endif()
  endforeach()
  if(TOVREN_CONSOLE_VERSION STREQUAL "")
    tovren_refuse("Name the version of the console in your archives: -DTOVREN_CONSOLE_VERSION=...")
  endif()
  set(TOVREN_VENDOR_ARCHIVES ON)
elseif(TOVREN_CONSOLE_VERSION STREQUAL "")
  set(TOVREN_CONSOLE_VERSION ${TOVREN_STAND_IN_VERSION})
endif()
tovren_check_version("${TOVREN_CONSOLE_VERSION}")
