# The check that Start runs, and the Norlix choice dialog it may show.
prismor_add_test(test_choice_dialog SOURCES test_choice_dialog.cpp LIBRARIES norlix_dialog)
prismor_add_test(test_check_text SOURCES test_check_text.cpp LIBRARIES prismor_check_text)
prismor_add_test(test_check_run SOURCES test_check_run.cpp LIBRARIES prismor_window)

# The real window and components against a stand-in installation set up with the norlix command.
prismor_add_test(test_check_end_to_end NORLIX
    SOURCES test_check_end_to_end.cpp
    LIBRARIES prismor_window SQLite::SQLite3)
if(WIN32)
    # Finds the registered stand-in, to look inside it while Prismor calls it through COM.
    target_link_libraries(test_check_end_to_end PRIVATE norlix_automation_server)
endif()
