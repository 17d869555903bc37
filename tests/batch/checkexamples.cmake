# SPDX-License-Identifier: GPL-3.0-or-later
# Writes the examples afresh into SCRATCH and compares them with EXAMPLES:
# the files matching PATTERN (default *.dat).
if(NOT PATTERN)
    set(PATTERN "*.dat")
endif()
file(REMOVE_RECURSE "${SCRATCH}")
execute_process(COMMAND "${PYTHON}" "${SCRIPT}" --out "${SCRATCH}"
    RESULT_VARIABLE status OUTPUT_QUIET)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "${SCRIPT} failed: ${status}")
endif()
file(GLOB written RELATIVE "${SCRATCH}" "${SCRATCH}/${PATTERN}")
file(GLOB committed RELATIVE "${EXAMPLES}" "${EXAMPLES}/${PATTERN}")
list(SORT written)
list(SORT committed)
if(NOT written STREQUAL committed)
    message(FATAL_ERROR "generator writes [${written}], examples/ holds [${committed}]")
endif()
foreach(name IN LISTS written)
    execute_process(COMMAND ${CMAKE_COMMAND} -E compare_files
        "${SCRATCH}/${name}" "${EXAMPLES}/${name}" RESULT_VARIABLE differ)
    if(NOT differ EQUAL 0)
        message(FATAL_ERROR "${EXAMPLES}/${name} differs from what ${SCRIPT} writes")
    endif()
endforeach()
file(REMOVE_RECURSE "${SCRATCH}")
