# The Windows build's packages: `cmake --build <folder> --target windows-package` runs
# scripts/windows/package.sh, which writes Prismor-<version>-x86.msi and Prismor-<version>-x86.zip
# (in the 32-bit build)
# into the build folder. The zip carries the copyright file the Debian package carries, made
# here the same way, with the same maintainer.
set(PRISMOR_PACKAGE_MAINTAINER "Prismor maintainers <prismor@norlix.com>"
    CACHE STRING "Maintainer named in the packages")
configure_file(resources/copyright copyright @ONLY)

add_custom_target(windows-package
    COMMAND "${CMAKE_CURRENT_SOURCE_DIR}/scripts/windows/package.sh" "${CMAKE_BINARY_DIR}"
    DEPENDS Prismor norlix NorlixStandIn
    USES_TERMINAL
    COMMENT "Packing Prismor.exe, norlix.exe and NorlixStandIn.dll into an MSI and a zip")
