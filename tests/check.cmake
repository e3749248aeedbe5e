# The check that Start runs, and the Norlix choice dialog it may show.
prismor_add_test(test_choice_dialog
    SOURCES test_choice_dialog.cpp
    LIBRARIES norlix_dialog)

prismor_add_test(test_check_text
    SOURCES test_check_text.cpp
    LIBRARIES prismor_window)

prismor_add_test(test_check_run
    SOURCES test_check_run.cpp test_check_fakes.h
    LIBRARIES prismor_window)
