# Runs one conformance script and compares its standard output with the
# expected text beside it.
get_filename_component(dir ${SCRIPT} DIRECTORY)
get_filename_component(name ${SCRIPT} NAME_WE)
execute_process(COMMAND ${SQ} ${name}.nut
                WORKING_DIRECTORY ${dir}
                OUTPUT_VARIABLE out ERROR_VARIABLE err RESULT_VARIABLE rc)
set(expect_fail FALSE)
if(EXISTS ${dir}/${name}.fail)
  set(expect_fail TRUE)
endif()
if(expect_fail AND rc EQUAL 0)
  message(FATAL_ERROR "${name}: expected a non-zero exit, got 0")
elseif(NOT expect_fail AND NOT rc EQUAL 0)
  message(FATAL_ERROR "${name}: exit code ${rc}\nstdout:\n${out}\nstderr:\n${err}")
endif()
file(READ ${dir}/${name}.out expected)
if(NOT out STREQUAL expected)
  file(WRITE ${CMAKE_CURRENT_BINARY_DIR}/${name}.actual "${out}")
  message(FATAL_ERROR "${name}: output differs from ${name}.out\n--- got:\n${out}\n--- stderr:\n${err}")
endif()
