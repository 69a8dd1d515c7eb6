# Debian package of the program: `cpack -G DEB` in a build directory. It
# carries what `cmake --install` installs, under /usr.
if(NOT QUORVEL_BUILD_APP)
    return()  # nothing worth packaging without the window program
endif()

set(CPACK_PACKAGE_NAME "quorvel")
set(CPACK_PACKAGE_VENDOR "Quorvel")
# The project version, the one place it is kept.
set(CPACK_PACKAGE_VERSION "${PROJECT_VERSION}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "List the folders and files inside a folder")
string(CONCAT CPACK_PACKAGE_DESCRIPTION
    "Quorvel walks a folder, and if asked every folder below it, and shows\n"
    "each folder and file it finds as a numbered line, the two counts, and\n"
    "the collected lists of folder and file paths.")
set(CPACK_PACKAGE_CONTACT "Quorvel maintainers <maintainers@quorvel.org>"
    CACHE STRING "Maintainer named in the Debian package")
set(CPACK_PACKAGING_INSTALL_PREFIX "/usr")
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${CPACK_PACKAGE_CONTACT}")
set(CPACK_DEBIAN_PACKAGE_SECTION "utils")
set(CPACK_DEBIAN_PACKAGE_PRIORITY "optional")
# Library dependencies come from the binary itself (dpkg-shlibdeps, from
# dpkg-dev). Qt's xcb and offscreen platform plugins ship in libqt6gui6,
# which that already pulls in; the Wayland one is a separate package.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "qt6-wayland")

include(CPack)
