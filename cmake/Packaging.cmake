# SPDX-License-Identifier: MIT
# Debian packages, all from one `cpack -G DEB` in a build directory, each the
# files of one install component under /usr:
#   quorvel                 the program (component `program`)
#   libquorvel-scanner-dev  the scanner for other programs (component
#                           `scanner_dev`, see ScannerInstall.cmake); no Qt
# Each also carries the copyright file and changelog that Debian asks of
# every package; the program, its manual page.

set(CPACK_PACKAGE_CONTACT "Quorvel maintainers <maintainers@quorvel.org>"
    CACHE STRING "Maintainer named in the Debian packages")
set(CPACK_DEBIAN_PROGRAM_PACKAGE_NAME "quorvel")
set(CPACK_DEBIAN_SCANNER_DEV_PACKAGE_NAME "libquorvel-scanner-dev")
set(quorvel_deb_components scanner_dev)
if(QUORVEL_BUILD_APP)
    list(PREPEND quorvel_deb_components program)
endif()

# Files that Debian wants compressed are compressed here, at the strongest
# level and without a name or time stamp, so that a package is the same
# whenever it is built.
function(quorvel_gzip file)
    execute_process(COMMAND gzip -9nf ${file} COMMAND_ERROR_IS_FATAL ANY)
endfunction()

set(quorvel_packaging_dir ${CMAKE_CURRENT_BINARY_DIR}/packaging)
execute_process(COMMAND date --utc --rfc-email --date ${QUORVEL_RELEASE_DATE}
    OUTPUT_VARIABLE QUORVEL_RELEASE_DATE_RFC5322 OUTPUT_STRIP_TRAILING_WHITESPACE
    COMMAND_ERROR_IS_FATAL ANY)
configure_file(packaging/changelog.in ${quorvel_packaging_dir}/changelog @ONLY)
quorvel_gzip(${quorvel_packaging_dir}/changelog)
foreach(component IN LISTS quorvel_deb_components)
    string(TOUPPER ${component} component_upper)
    install(FILES packaging/copyright ${quorvel_packaging_dir}/changelog.gz
            DESTINATION ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_DEBIAN_${component_upper}_PACKAGE_NAME}
            COMPONENT ${component})
endforeach()

if(QUORVEL_BUILD_APP)
    configure_file(packaging/quorvel.1.in ${quorvel_packaging_dir}/quorvel.1 @ONLY)
    quorvel_gzip(${quorvel_packaging_dir}/quorvel.1)
    install(FILES ${quorvel_packaging_dir}/quorvel.1.gz DESTINATION ${CMAKE_INSTALL_MANDIR}/man1
            COMPONENT program)
endif()

set(CPACK_PACKAGE_NAME "quorvel")
set(CPACK_PACKAGE_VENDOR "Quorvel")
# The project version, the one place it is kept; the -dev package has the
# library's (QUORVEL_SCANNER_VERSION), set per package by this file.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
configure_file(cmake/CPackComponentVersions.cmake.in
    ${quorvel_packaging_dir}/CPackComponentVersions.cmake @ONLY)
set(CPACK_PROJECT_CONFIG_FILE ${quorvel_packaging_dir}/CPackComponentVersions.cmake)
# Each package's summary is the first line of its own description below; a
# summary set here would be put in front of both.
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
# Strips the program, and then what plain stripping leaves (StripPackaged).
set(CPACK_STRIP_FILES ON)
set(CPACK_PRE_BUILD_SCRIPTS ${PROJECT_SOURCE_DIR}/cmake/StripPackaged.cmake)
set(CPACK_DEB_COMPONENT_INSTALL ON)
set(CPACK_COMPONENTS_ALL ${quorvel_deb_components})

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
set(CPACK_DEBIAN_PACKAGE_SOURCE "quorvel")

set(CPACK_DEBIAN_PROGRAM_PACKAGE_SECTION "utils")
string(CONCAT CPACK_DEBIAN_PROGRAM_DESCRIPTION
    "List the folders and files inside a folder\n"
    "Quorvel walks a folder, and if asked every folder below it, and shows\n"
    "each folder and file it finds as a numbered line, the two counts, and\n"
    "the collected lists of folder and file paths.")
# Library dependencies come from the binary itself (dpkg-shlibdeps, from
# dpkg-dev). Qt's xcb and offscreen platform plugins ship in libqt6gui6,
# which that already pulls in; the Wayland one is a separate package.
set(CPACK_DEBIAN_PROGRAM_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PROGRAM_PACKAGE_RECOMMENDS "qt6-wayland")

set(CPACK_DEBIAN_SCANNER_DEV_PACKAGE_SECTION "libdevel")
# Built from the same source as the program, whose version differs.
set(CPACK_DEBIAN_SCANNER_DEV_PACKAGE_SOURCE "quorvel (${PROJECT_VERSION})")
string(CONCAT CPACK_DEBIAN_SCANNER_DEV_DESCRIPTION
    "Folder scanner of Quorvel, as a static C++20 library\n"
    "The scanner walks a folder, and if asked every folder below it, and\n"
    "collects the paths of the folders and files it finds in two ordered\n"
    "lists, with their counts and an optional event per entry. It needs only\n"
    "the C++ standard library and POSIX.\n"
    "\n"
    "This package holds its headers, the static library, a CMake package\n"
    "(find_package(QuorvelScanner), target Quorvel::Scanner) and a pkg-config\n"
    "file (quorvel-scanner).")

include(CPack)
