# The window Main: layout and keyboard, start-up and exit, the company letter, the contrast of its
# texts and their fit in its fonts; and the executable's version block.
foreach(area IN ITEMS layout letter lifecycle readability)
    prismor_add_test(test_window_${area}
        SOURCES test_window_${area}.cpp
        LIBRARIES prismor_window)
endforeach()

# The version block as the Windows resource compiler reads it. Prismor.exe's own is read back
# from the executable by the Windows build (scripts/windows/check-executables.py).
if(NOT WIN32)
    prismor_add_test(test_window_version_block
        SOURCES test_window_version_block.cpp)
    target_compile_definitions(test_window_version_block PRIVATE
        PRISMOR_RESOURCES_DIR="${PRISMOR_RESOURCES_DIR}")
endif()

if(NOT WIN32)
    # What `cmake --install` puts where a Linux desktop finds it.
    add_test(NAME test_window_install
             COMMAND ${CMAKE_COMMAND} -DBUILD_DIR=${PROJECT_BINARY_DIR}
                     -DPREFIX=${CMAKE_CURRENT_BINARY_DIR}/install-check
                     -DBINDIR=${CMAKE_INSTALL_BINDIR} -DDATADIR=${CMAKE_INSTALL_DATADIR}
                     -P ${CMAKE_CURRENT_SOURCE_DIR}/window_install_check.cmake)
endif()
