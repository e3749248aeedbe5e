# Debian keeps manual pages and changelogs compressed with gzip -9n (no name, no time stamp, so
# that the same source gives the same file). Installs SOURCE, compressed, as NAME.gz in
# DESTINATION.
function(prismor_install_gzipped source destination)
    cmake_parse_arguments(ARG "" "NAME" "" ${ARGN})
    get_filename_component(name "${source}" NAME)
    if(ARG_NAME)
        set(name ${ARG_NAME})
    endif()
    get_filename_component(source "${source}" ABSOLUTE)
    set(compressed "${CMAKE_CURRENT_BINARY_DIR}/${name}.gz")
    add_custom_command(OUTPUT "${compressed}"
        COMMAND sh -c "gzip -9n <\"$0\" >\"$1\"" "${source}" "${compressed}"
        DEPENDS "${source}" VERBATIM)
    string(MAKE_C_IDENTIFIER "gzip_${name}" target)
    add_custom_target(${target} ALL DEPENDS "${compressed}")
    install(FILES "${compressed}" DESTINATION "${destination}")
endfunction()
