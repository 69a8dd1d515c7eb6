# SPDX-License-Identifier: MIT
# cmake -D CXX=<compiler> -D INCLUDE=<dir>[,<dir>...] -D SNIPPET=<file> -D CASES=A,B -P CompileFails.cmake
# The snippet compiles as it stands, and fails to with each macro of CASES
# defined, for a deleted function: a failure for any other reason (a header
# gone missing, say) must not pass for the check.
string(REPLACE "," ";" include_dirs "${INCLUDE}")
list(TRANSFORM include_dirs PREPEND -I)
function(compile result output)
    execute_process(COMMAND ${CXX} -std=c++20 -fsyntax-only ${include_dirs} ${ARGN} ${SNIPPET}
        RESULT_VARIABLE status ERROR_VARIABLE errors)
    set(${result} ${status} PARENT_SCOPE)
    set(${output} "${errors}" PARENT_SCOPE)
endfunction()

compile(status errors)
if(NOT status EQUAL 0)
    message(FATAL_ERROR "the snippet does not compile as it stands:\n${errors}")
endif()
string(REPLACE "," ";" cases "${CASES}")
foreach(case IN LISTS cases)
    compile(status errors -D${case})
    if(status EQUAL 0)
        message(FATAL_ERROR "${case}: compiled, and must not")
    endif()
    if(NOT errors MATCHES "deleted")
        message(FATAL_ERROR "${case}: failed, but not for a deleted function:\n${errors}")
    endif()
endforeach()
