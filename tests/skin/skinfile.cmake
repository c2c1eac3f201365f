tolmu_add_test(test_skinfile SOURCES skinfile_test.cpp LIBS tolmu_core)
