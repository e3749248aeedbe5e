# Run by cpack before it packs: removes the .comment section (the compiler's version) from the
# staged executables, as dh_strip does for Debian's packages.
file(GLOB executables "${CPACK_TEMPORARY_INSTALL_DIRECTORY}/usr/bin/*")
foreach(executable IN LISTS executables)
    execute_process(
        COMMAND "${CPACK_PRISMOR_STRIP}" --remove-section=.comment --remove-section=.note
                "${executable}"
        COMMAND_ERROR_IS_FATAL ANY)
endforeach()
