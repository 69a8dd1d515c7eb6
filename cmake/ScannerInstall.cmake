# SPDX-License-Identifier: MIT
# The scanner as a library for other programs. The install component
# `scanner_dev` (the libquorvel-scanner-dev package) holds its public headers,
# the static library, a CMake package and a pkg-config file:
#   find_package(QuorvelScanner 2.0 REQUIRED)   ->  target Quorvel::Scanner
#   pkg-config --cflags --libs quorvel-scanner
# Headers land together in <prefix>/include/quorvel, and include each other
# by bare name, as inside this tree.
include(CMakePackageConfigHelpers)

set(quorvel_scanner_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/QuorvelScanner)
set_target_properties(quorvel_scanner PROPERTIES EXPORT_NAME Scanner)

# The scanner links nothing publicly but the threads library: what it uses
# inside (the byte store of its lists) stays in the build tree. Its public
# headers keep their quorvel/ folder: programs write
# #include <quorvel/clsDirwalk.h>.
install(TARGETS quorvel_scanner
        EXPORT QuorvelScannerTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT scanner_dev
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT scanner_dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(EXPORT QuorvelScannerTargets
        NAMESPACE Quorvel::
        DESTINATION ${quorvel_scanner_cmake_dir}
        COMPONENT scanner_dev)

configure_package_config_file(cmake/QuorvelScannerConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfig.cmake
    INSTALL_DESTINATION ${quorvel_scanner_cmake_dir})
# The library's own version (QUORVEL_SCANNER_VERSION), not the program's:
# a program asking for 2.0 must not get the 1.x lists.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfigVersion.cmake
    VERSION ${QUORVEL_SCANNER_VERSION} COMPATIBILITY SameMajorVersion)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfig.cmake
              ${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfigVersion.cmake
        DESTINATION ${quorvel_scanner_cmake_dir}
        COMPONENT scanner_dev)

# The .pc file finds the prefix from its own place, like the CMake package,
# so a copy installed with --prefix <dir> works where it lands.
set(quorvel_pc_dir ${CMAKE_INSTALL_LIBDIR}/pkgconfig)
file(RELATIVE_PATH QUORVEL_PC_PREFIX /prefix/${quorvel_pc_dir} /prefix)
string(REGEX REPLACE "/$" "" QUORVEL_PC_PREFIX "${QUORVEL_PC_PREFIX}")
configure_file(cmake/quorvel-scanner.pc.in ${CMAKE_CURRENT_BINARY_DIR}/quorvel-scanner.pc @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/quorvel-scanner.pc
        DESTINATION ${quorvel_pc_dir}
        COMPONENT scanner_dev)
