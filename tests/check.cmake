# The check that Start runs, and the Norlix choice dialog it may show.
prismor_add_test(test_choice_dialog
    SOURCES test_choice_dialog.cpp
    LIBRARIES norlix_dialog)
