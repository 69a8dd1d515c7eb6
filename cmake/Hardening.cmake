# SPDX-License-Identifier: MIT
# The hardening that Debian's own packages get: the flags dpkg-buildflags
# gives with every hardening feature on (fortified libc calls, the strong
# stack protector, read-only relocations bound at start-up), and without it
# the same set written out. Only for optimised builds: _FORTIFY_SOURCE needs
# optimisation, and the sanitizer presets are debug builds. Optimisation and
# debug information stay CMake's (its -O3 is not replaced by Debian's -O2).
set(quorvel_hardening_cxx -D_FORTIFY_SOURCE=2 -fstack-protector-strong -Wformat
                          -Werror=format-security)
set(quorvel_hardening_link -Wl,-z,relro -Wl,-z,now)
find_program(QUORVEL_DPKG_BUILDFLAGS dpkg-buildflags)
if(QUORVEL_DPKG_BUILDFLAGS)
    set(quorvel_hardening_cxx)
    set(quorvel_hardening_link)
    foreach(kind CPPFLAGS CXXFLAGS LDFLAGS)
        execute_process(COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                                ${QUORVEL_DPKG_BUILDFLAGS} --get ${kind}
            OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
        separate_arguments(flags UNIX_COMMAND "${flags}")
        # -g, -O and the build folder's prefix map are the build's own choice.
        list(FILTER flags EXCLUDE REGEX "^-(g|O[0-9s]?|ffile-prefix-map=.*)$")
        if(kind STREQUAL "LDFLAGS")
            list(APPEND quorvel_hardening_link ${flags})
        else()
            list(APPEND quorvel_hardening_cxx ${flags})
        endif()
    endforeach()
endif()
# Debian 12's flags leave these to the compiler's defaults, which on amd64 do
# not include them.
list(APPEND quorvel_hardening_cxx -fstack-clash-protection)
if(CMAKE_SYSTEM_PROCESSOR MATCHES "^(x86_64|AMD64|i.86)$")
    list(APPEND quorvel_hardening_cxx -fcf-protection=full)
endif()
list(REMOVE_DUPLICATES quorvel_hardening_cxx)
set(CMAKE_POSITION_INDEPENDENT_CODE ON)
include(CheckPIESupported)
check_pie_supported()
set(quorvel_optimised "$<CONFIG:Release,RelWithDebInfo,MinSizeRel>")
add_compile_options("$<${quorvel_optimised}:${quorvel_hardening_cxx}>")
add_link_options("$<${quorvel_optimised}:${quorvel_hardening_link}>")
message(STATUS "Hardening for Release, RelWithDebInfo and MinSizeRel builds: ${quorvel_hardening_cxx} ${quorvel_hardening_link}")
