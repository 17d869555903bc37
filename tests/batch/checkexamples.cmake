# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the examples afresh into SCRATCH and compares them with EXAMPLES.
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --out "${SCRATCH}"
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "make_examples.py failed: ${status}")
endif()
file(GLOB written RELATIVE "${SCRATCH}" "${SCRATCH}/*.dat")
file(GLOB committed RELATIVE "${EXAMPLES}" "${EXAMPLES}/*.dat")
list(SORT written)
list(SORT committed)
if(NOT written STREQUAL committed)
    message(FATAL_ERROR "generator writes [${written}], examples/ holds [${committed}]")
endif()
foreach(name IN LISTS written)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
        "${SCRATCH}/${name}" "${EXAMPLES}/${name}" RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "examples/${name} differs from what make_examples.py writes")
    endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
