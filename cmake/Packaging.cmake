# The Debian package: `cpack -G DEB` in the build folder gives prismor_<version>_<arch>.deb with
# everything the install rules name under /usr, and the package's copyright and changelog.
set(prismor_default_maintainer "Prismor maintainers <prismor@norlix.com>")
set(PRISMOR_PACKAGE_MAINTAINER "${prismor_default_maintainer}"
    CACHE STRING "Maintainer named in the Debian package")
# A build folder configured before the maintainer had a real host still caches the old
# placeholder, which Debian's tools reject; move it on, but keep any address set on purpose.
if(PRISMOR_PACKAGE_MAINTAINER MATCHES "@localhost>?$")
    set(PRISMOR_PACKAGE_MAINTAINER "${prismor_default_maintainer}" CACHE STRING
        "Maintainer named in the Debian package" FORCE)
endif()

set(CPACK_PACKAGE_NAME prismor)
set(CPACK_PACKAGE_VENDOR "Norlix")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "Checks a Norlix company database from this workstation")
# Lines of the package's long description.
set(CPACK_PACKAGE_DESCRIPTION [[
Prismor reports on one company's database of a shared Norlix accounting
installation: that the file can be found, the company's name, where the
database lies, when it was last compacted, its version, and whether the
accounts can be locked from this workstation.
.
The package also holds norlix, the administration command of the stand-in
Norlix installation that Prismor uses on Linux.]])
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_STRIP_FILES ON)

set(CPACK_DEBIAN_FILE_NAME DEB-DEFAULT)
set(CPACK_DEBIAN_PACKAGE_MAINTAINER "${PRISMOR_PACKAGE_MAINTAINER}")
set(CPACK_DEBIAN_PACKAGE_SECTION utils)
# dpkg-shlibdeps reads the libraries the executables link (Qt, SQLite) into Depends; Qt's X11
# platform plugin comes with libqt6gui6. The window's layout is made for Arial's metrics, which
# the Liberation fonts share.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_DEPENDS "fonts-liberation2 | fonts-liberation")

# Prismor is its own upstream: a native package, whose changelog is changelog.gz.
set(prismor_docdir ${CMAKE_INSTALL_DATADIR}/doc/${CPACK_PACKAGE_NAME})
configure_file(resources/copyright copyright @ONLY)
configure_file(resources/changelog changelog @ONLY)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/copyright DESTINATION ${prismor_docdir})
if(UNIX)
    prismor_install_gzipped(${CMAKE_CURRENT_BINARY_DIR}/changelog ${prismor_docdir})
endif()

# Stripped as Debian strips its packages: also without the compiler's notes.
set(CPACK_PRISMOR_STRIP "${CMAKE_STRIP}")
set(CPACK_PRE_BUILD_SCRIPTS ${CMAKE_CURRENT_LIST_DIR}/StripPackagedBinaries.cmake)

include(CPack)
