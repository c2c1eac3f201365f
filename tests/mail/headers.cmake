tolmu_add_test(test_headers SOURCES headers_test.cpp LIBS tolmu_net)
