# Writes VALUE as the build writes the console's version into generated text, to
# OUT/quoted.cpp (a static_assert that it is VALUE), OUT/quoted.sh and
# OUT/quoted.xml, then checks it as the build checks a version.
#   cmake -DVALUE=... -DOUT=FOLDER -P tests/quote.cmake
include(${CMAKE_CURRENT_LIST_DIR}/../cmake/constants.cmake)
tovren_quote("${VALUE}" quoted)
file(WRITE ${OUT}/quoted.cpp "#include <string_view>\n\
static_assert(std::string_view(${quoted_CPP}) == std::string_view(R\"tovren(${VALUE})tovren\"));\n")
file(WRITE ${OUT}/quoted.sh "value=${quoted_SH}\n")
file(WRITE ${OUT}/quoted.xml "<string>${quoted_XML}</string>\n")
tovren_check_version("${VALUE}")
