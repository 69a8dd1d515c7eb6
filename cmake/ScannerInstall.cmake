# SPDX-License-Identifier: MIT
# The scanner as a library for other programs. The install component
# `scanner_dev` (the libquorvel-scanner-dev package) holds its public headers,
# the static library, a CMake package and a pkg-config file:
#   find_package(QuorvelScanner 1.0 REQUIRED)   ->  target Quorvel::Scanner
#   pkg-config --cflags --libs quorvel-scanner
# Headers land together in <prefix>/include/quorvel, and include each other
# by bare name, as inside this tree.
include(CMakePackageConfigHelpers)

set(quorvel_scanner_cmake_dir ${CMAKE_INSTALL_LIBDIR}/cmake/QuorvelScanner)
set_target_properties(quorvel_scanner PROPERTIES EXPORT_NAME Scanner)
set_target_properties(quorvel_bytestore PROPERTIES EXPORT_NAME ByteStore)

# Every target that the scanner links publicly is exported with it; a
# header-only one declares its headers as a FILE_SET HEADERS (that also keeps
# its source folder out of the export). The scanner's public headers keep
# their quorvel/ folder: programs write #include <quorvel/clsDirwalk.h>.
install(TARGETS quorvel_scanner
        EXPORT QuorvelScannerTargets
        ARCHIVE DESTINATION ${CMAKE_INSTALL_LIBDIR} COMPONENT scanner_dev
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR} COMPONENT scanner_dev
        INCLUDES DESTINATION ${CMAKE_INSTALL_INCLUDEDIR})
install(TARGETS quorvel_bytestore
        EXPORT QuorvelScannerTargets
        FILE_SET HEADERS DESTINATION ${CMAKE_INSTALL_INCLUDEDIR}/quorvel COMPONENT scanner_dev)
install(EXPORT QuorvelScannerTargets
        NAMESPACE Quorvel::
        DESTINATION ${quorvel_scanner_cmake_dir}
        COMPONENT scanner_dev)

configure_package_config_file(cmake/QuorvelScannerConfig.cmake.in
    ${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfig.cmake
    INSTALL_DESTINATION ${quorvel_scanner_cmake_dir})
# Same major version: the one project version numbers the library as well.
write_basic_package_version_file(${CMAKE_CURRENT_BINARY_DIR}/QuorvelScannerConfigVersion.cmake
    VERSION ${PROJECT_VERSION} COMPATIBILITY SameMajorVersion)
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
