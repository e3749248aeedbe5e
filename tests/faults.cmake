# Faults and bad input: failing Norlix components at every call site, damaged installations,
# and the promise to write no file.
prismor_add_test(test_faults
    SOURCES test_faults.cpp test_check_fakes.h
    LIBRARIES prismor_window)

# The real window and components against stand-in installations damaged in many ways.
prismor_add_test(test_damaged_installations
    SOURCES test_damaged_installations.cpp test_faults_snapshot.h test_faults_snapshot.cpp
    LIBRARIES prismor_window SQLite::SQLite3)
target_compile_definitions(test_damaged_installations PRIVATE
    NORLIX_COMMAND="$<TARGET_FILE:norlix>")
add_dependencies(test_damaged_installations norlix)
