# Checks VERSION as configuring a build checks the console's version, and stops
# with the same one line where it breaks a rule.
#   cmake -DVERSION=... -P cmake/check_version.cmake
include(${CMAKE_CURRENT_LIST_DIR}/constants.cmake)
tovren_check_version("${VERSION}")
