# Faults and bad input: failing Norlix components at every call site, damaged installations,
# and the promise to write no file.
prismor_add_test(test_faults
    SOURCES test_faults.cpp fake_norlix.h
    LIBRARIES prismor_window)

# The real window and components against stand-in installations damaged in many ways.
prismor_add_test(test_damaged_installations
    SOURCES test_damaged_installations.cpp test_faults_snapshot.h test_faults_snapshot.cpp
    LIBRARIES prismor_window SQLite::SQLite3)
target_compile_definitions(test_damaged_installations PRIVATE
    NORLIX_COMMAND="$<TARGET_FILE:norlix>")
add_dependencies(test_damaged_installations norlix)

# A whole check and Exit by the real Prismor executable, driven from inside by a plugin that Qt
# loads at start-up, writes no file outside the stand-in's own database and state.
add_library(prismor_driver_plugin MODULE test_no_files_written_driver.cpp)
target_link_libraries(prismor_driver_plugin PRIVATE Qt6::Widgets)
set_target_properties(prismor_driver_plugin PROPERTIES
    LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/driver_plugins/generic)
prismor_add_test(test_no_files_written
    SOURCES test_no_files_written.cpp test_faults_snapshot.h test_faults_snapshot.cpp
    LIBRARIES SQLite::SQLite3)
target_compile_definitions(test_no_files_written PRIVATE
    NORLIX_COMMAND="$<TARGET_FILE:norlix>"
    PRISMOR_EXECUTABLE="$<TARGET_FILE:Prismor>"
    DRIVER_PLUGIN_PATH="${CMAKE_CURRENT_BINARY_DIR}/driver_plugins")
add_dependencies(test_no_files_written norlix Prismor prismor_driver_plugin)
