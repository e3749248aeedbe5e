# Faults and bad input: failing Norlix components at every call site, damaged installations,
# and the promise to write no file.
prismor_add_test(test_faults
    SOURCES test_faults.cpp test_check_fakes.h
    LIBRARIES prismor_window)
