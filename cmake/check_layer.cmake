# Checks the includes of FILES, of FOLDER, as tovren_layer describes; run by the build:
#   cmake -DFOLDER=... -DFILES=a|b -DUSES=a|b -DHEADERS=x|y -DSYSTEM=ON|OFF -DINTERNAL=regex
#         -DSTAMP=... -P check_layer.cmake
cmake_minimum_required(VERSION 3.25)
string(REPLACE "|" ";" files "${FILES}")
string(REPLACE "|" ";" uses "${USES}")
string(REPLACE "|" ";" headers "${HEADERS}")
list(JOIN uses "/, " allowed)
set(faults)
foreach(file ${files})
  file(STRINGS ${file} includes REGEX "^[ \t]*#[ \t]*include")
  foreach(include ${includes})
    if(include MATCHES "\"([^\"]+)\"")
      set(header ${CMAKE_MATCH_1})
      string(REGEX REPLACE "/[^/]*$" "" folder "${header}")
      if(header MATCHES "${INTERNAL}" AND NOT FOLDER MATCHES "^platform(/|$)")
        list(APPEND faults "${file} includes \"${header}\": it is internal to platform/\; outside it, \
include only platform/'s public headers")
      elseif(NOT folder IN_LIST uses)
        list(APPEND faults "${file} includes \"${header}\": ${FOLDER}/ builds only on ${allowed}/")
      endif()
    elseif(NOT SYSTEM AND include MATCHES "<([^>]+)>")
      set(header ${CMAKE_MATCH_1})
      # A standard C++ header has neither a "." nor a "/" in its name.
      if(header MATCHES "[./]" AND NOT header IN_LIST headers)
        list(APPEND faults "${file} includes <${header}>: ${FOLDER}/ is the same on every system and \
includes no system header\; those belong to platform/'s system parts")
      endif()
    endif()
  endforeach()
endforeach()
# A line that begins with a space CMake leaves as it stands instead of wrapping it.
if(faults)
  list(JOIN faults "\n " text)
  message(FATAL_ERROR " ${text}")
endif()
file(TOUCH ${STAMP})
