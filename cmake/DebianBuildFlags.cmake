# Debian builds its packages with the hardening flags that dpkg-buildflags gives: the stack
# protector, fortified C library functions, format checks, read-only relocations and immediate
# binding. Prismor takes the same, so that the package cpack makes is built as Debian's own are.
# The build type still decides optimisation and debug information. The sanitizer and fuzzer
# builds go without: fortified functions hide calls from the sanitizers.
option(PRISMOR_DEBIAN_BUILDFLAGS "Build with the hardening flags of dpkg-buildflags" ON)
find_program(PRISMOR_DPKG_BUILDFLAGS dpkg-buildflags)

function(prismor_debian_buildflags kind result)
    execute_process(
        COMMAND ${CMAKE_COMMAND} -E env DEB_BUILD_MAINT_OPTIONS=hardening=+all
                ${PRISMOR_DPKG_BUILDFLAGS} --get ${kind}
        OUTPUT_VARIABLE flags OUTPUT_STRIP_TRAILING_WHITESPACE COMMAND_ERROR_IS_FATAL ANY)
    separate_arguments(flags UNIX_COMMAND "${flags}")
    list(FILTER flags EXCLUDE REGEX "^-g|^-O|^-ffile-prefix-map=")
    set(${result} ${flags} PARENT_SCOPE)
endfunction()

if(PRISMOR_DEBIAN_BUILDFLAGS AND PRISMOR_DPKG_BUILDFLAGS AND CMAKE_SYSTEM_NAME STREQUAL "Linux"
   AND CMAKE_CXX_COMPILER_ID MATCHES "GNU|Clang" AND NOT PRISMOR_SANITIZE AND NOT PRISMOR_FUZZ)
    prismor_debian_buildflags(CPPFLAGS cppflags)
    prismor_debian_buildflags(CXXFLAGS cxxflags)
    prismor_debian_buildflags(LDFLAGS ldflags)
    # _FORTIFY_SOURCE works only in optimised code.
    add_compile_options("$<$<CONFIG:Release,RelWithDebInfo,MinSizeRel>:${cppflags}>" ${cxxflags})
    add_link_options(${ldflags})
    list(JOIN cppflags " " shown)
    list(JOIN cxxflags " " shown_cxx)
    list(JOIN ldflags " " shown_ld)
    message(STATUS "Hardening flags of dpkg-buildflags: ${shown} ${shown_cxx} ${shown_ld}")
endif()
