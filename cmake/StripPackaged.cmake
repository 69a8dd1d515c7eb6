# SPDX-License-Identifier: MIT
# Run by CPack (CPACK_PRE_BUILD_SCRIPTS) on the files it is about to package:
# removes the compilers' .comment and .note sections from the program and
# the static library, as Debian's own packaging does (dh_strip). CPack's own
# stripping calls strip without arguments, which leaves them; static
# libraries it leaves alone, so their debug information goes here too.
find_program(quorvel_strip NAMES strip REQUIRED)
file(GLOB_RECURSE packaged LIST_DIRECTORIES false "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/*")
foreach(file IN LISTS packaged)
    if(IS_SYMLINK "${file}")
        continue()
    endif()
    if(file MATCHES "\\.a$")
        set(how --strip-debug --enable-deterministic-archives)
    elseif(file MATCHES "/bin/[^/]+$")
        set(how)
    else()
        continue()
    endif()
    execute_process(COMMAND ${quorvel_strip} ${how} --remove-section=.comment --remove-section=.note
                            "${file}" COMMAND_ERROR_IS_FATAL ANY)
endforeach()
