# Faults and bad input: failing Norlix components at every call site, damaged installations,
# and the promise to write no file.
prismor_add_test(test_faults SOURCES test_faults.cpp LIBRARIES prismor_window)

# The real window and components against stand-in installations damaged in many ways.
prismor_add_test(test_damaged_installations NORLIX
    SOURCES test_damaged_installations.cpp
    LIBRARIES prismor_window)

# A whole check and Exit by the real Prismor executable, driven from inside by a plugin that Qt
# loads at start-up. Not on Windows, where Qt is linked in statically and loads no plugin at run
# time.
if(NOT WIN32)
    add_library(prismor_driver_plugin MODULE test_no_files_written_driver.cpp)
    target_link_libraries(prismor_driver_plugin PRIVATE Qt6::Widgets)
    set_target_properties(prismor_driver_plugin PROPERTIES
        LIBRARY_OUTPUT_DIRECTORY ${CMAKE_CURRENT_BINARY_DIR}/driver_plugins/generic)
    prismor_add_test(test_no_files_written NORLIX SOURCES test_no_files_written.cpp)
    target_compile_definitions(test_no_files_written PRIVATE
        PRISMOR_EXECUTABLE="$<TARGET_FILE:Prismor>"
        DRIVER_PLUGIN_PATH="${CMAKE_CURRENT_BINARY_DIR}/driver_plugins")
    add_dependencies(test_no_files_written Prismor prismor_driver_plugin)
endif()
