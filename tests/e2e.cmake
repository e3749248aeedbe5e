# The end-to-end tests: the built Prismor on a virtual desktop of its own (Xvfb, openbox, a
# session bus), driven through XTest and read back through AT-SPI. Each case is a test of its
# own; its screenshots and Prismor's output go to e2e-artifacts/ in the build folder.
set(prismor_e2e_cases
    first_shown
    found_A
    missing_B
    locked_C_unlock
    locked_C_exit
    version_D
    refused_letter
    exit_restores
    close_by_frame_restores
    desktop_dies_restores
)
foreach(e2e_case IN LISTS prismor_e2e_cases)
    add_test(NAME e2e_${e2e_case}
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/run-e2e.sh
                     --prismor $<TARGET_FILE:Prismor>
                     --norlix $<TARGET_FILE:norlix>
                     --artifacts ${PROJECT_BINARY_DIR}/e2e-artifacts
                     ${e2e_case})
    set_tests_properties(e2e_${e2e_case} PROPERTIES
                         SKIP_RETURN_CODE 77
                         TIMEOUT 180
                         LABELS e2e)
endforeach()

# The Debian package made as the README says, its contents, and Prismor run from it.
add_test(NAME deb_package
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/check-deb-package.sh
                 ${PROJECT_BINARY_DIR} ${PROJECT_BINARY_DIR}/e2e-artifacts)
set_tests_properties(deb_package PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300 LABELS e2e)

# The same package as a packager sees it: lintian, appstreamcli and desktop-file-validate. Not
# for a sanitizer build, whose executables are not what is shipped.
if(NOT PRISMOR_SANITIZE)
    add_test(NAME deb_package_lint
             COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/lint-deb-package.sh ${PROJECT_BINARY_DIR})
    set_tests_properties(deb_package_lint PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 300)
endif()

# Prismor without a display, given Qt's command-line options, and with no session bus.
add_test(NAME start_up_conventions
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/check-start-up-conventions.sh $<TARGET_FILE:Prismor>)
set_tests_properties(start_up_conventions PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 120 LABELS e2e)

# scripts/run.sh on an installation that is there, and run by a user who may not install.
add_test(NAME run_command
         COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/e2e/check-run-command.sh ${PROJECT_SOURCE_DIR}
                 ${PROJECT_BINARY_DIR})
set_tests_properties(run_command PROPERTIES SKIP_RETURN_CODE 77 TIMEOUT 600 LABELS e2e)
