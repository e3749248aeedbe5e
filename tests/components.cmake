# The Norlix components: number conversion, the stand-in installation, the norlix command.
prismor_add_test(test_components_to_number
    SOURCES test_components_to_number.cpp
    LIBRARIES norlix_to_number)

prismor_add_test(test_components_standin
    SOURCES test_components_standin.cpp test_components_support.h
    LIBRARIES norlix_components SQLite::SQLite3)

prismor_add_test(test_components_norlix_command
    SOURCES test_components_norlix_command.cpp test_components_support.h
    LIBRARIES norlix_standin SQLite::SQLite3)
target_compile_definitions(test_components_norlix_command PRIVATE
    NORLIX_EXECUTABLE="$<TARGET_FILE:norlix>" PRISMOR_VERSION="${PROJECT_VERSION}")
add_dependencies(test_components_norlix_command norlix)

# Several processes fight over one company's accounts lock; the worker is one of them.
add_executable(norlix_lock_worker norlix_lock_worker.cpp)
target_link_libraries(norlix_lock_worker PRIVATE norlix_standin)
prismor_add_test(test_components_lock_concurrency
    SOURCES test_components_lock_concurrency.cpp test_components_support.h
    LIBRARIES norlix_standin)
target_compile_definitions(test_components_lock_concurrency PRIVATE
    LOCK_WORKER_EXECUTABLE="$<TARGET_FILE:norlix_lock_worker>")
add_dependencies(test_components_lock_concurrency norlix_lock_worker)
