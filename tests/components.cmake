# The Norlix components: number conversion, the stand-in installation, the norlix command.
prismor_add_test(test_components_to_number SOURCES test_components_to_number.cpp
    LIBRARIES norlix_to_number)
prismor_add_test(test_components_standin
    SOURCES test_components_standin.cpp
    LIBRARIES SQLite::SQLite3)
prismor_add_test(test_components_norlix_command NORLIX
    SOURCES test_components_norlix_command.cpp
    LIBRARIES SQLite::SQLite3)
target_compile_definitions(test_components_norlix_command PRIVATE
    PRISMOR_VERSION="${PROJECT_VERSION}")
if(WIN32)
    target_link_libraries(test_components_norlix_command PRIVATE norlix_automation_server)
endif()

# Several processes fight over one company's accounts lock; the worker is one of them.
add_executable(norlix_lock_worker norlix_lock_worker.cpp)
target_link_libraries(norlix_lock_worker PRIVATE norlix_standin)
prismor_add_test(test_components_lock_concurrency SOURCES test_components_lock_concurrency.cpp)
target_compile_definitions(test_components_lock_concurrency PRIVATE
    LOCK_WORKER_EXECUTABLE="${prismor_emulated_drive}$<TARGET_FILE:norlix_lock_worker>")
add_dependencies(test_components_lock_concurrency norlix_lock_worker)

# The installed Norlix components through COM, against a COM server of the tests' own.
if(WIN32)
    add_subdirectory(com_test_server)
    prismor_add_test(test_components_com_client SOURCES test_components_com_client.cpp
        LIBRARIES norlix_com norlix_automation_server)
    target_compile_definitions(test_components_com_client PRIVATE
        COM_TEST_SERVER_DLL="${prismor_emulated_drive}$<TARGET_FILE:com_test_server>")
    add_dependencies(test_components_com_client com_test_server)

    # The registered stand-in from an automation client that is not ours: Wine's VBScript.
    add_test(NAME test_components_com_vbscript
        COMMAND ${PROJECT_SOURCE_DIR}/scripts/windows/wine-run.sh
            ${CMAKE_CURRENT_SOURCE_DIR}/com_vbscript/run-vbscript-client.sh $<TARGET_FILE:norlix>)
endif()
