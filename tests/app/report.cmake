tolmu_add_test(test_report SOURCES report_test.cpp LIBS tolmu_core)
