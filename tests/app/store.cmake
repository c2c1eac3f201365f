tolmu_add_test(test_store SOURCES store_test.cpp LIBS tolmu_core)
