# The layer check on a file of install/ that includes a header planted in a new
# folder below platform/: refused as internal, though no list names the folder.
#   cmake -DINTERNAL=regex -DCHECK=cmake/check_layer.cmake -DWORK=folder -P planted_header.cmake
file(MAKE_DIRECTORY ${WORK}/install)
file(WRITE ${WORK}/install/planted.cpp "#include \"platform/planted/part.h\"\n")
execute_process(COMMAND ${CMAKE_COMMAND} -DFOLDER=install -DFILES=install/planted.cpp -DUSES=install|platform
                        -DINTERNAL=${INTERNAL} -DSTAMP=${WORK}/stamp -P ${CHECK}
                WORKING_DIRECTORY ${WORK} ERROR_VARIABLE refusal RESULT_VARIABLE status)
message("${refusal}")
if(status EQUAL 0)
  message(FATAL_ERROR "the planted header passed")
endif()
