# Fetching messages: Retrieve / RetrieveHeader against Dovecot and a scripted
# server, and `tolmu --show` (which needs the program built).
tolmu_add_test(test_retrieve SOURCES ${CMAKE_CURRENT_LIST_DIR}/retrieve_test.cpp
  LIBS tolmu_net tolmu_testsupport TIMEOUT 120)
if(TARGET tolmu)
  tolmu_add_test(test_show SOURCES ${CMAKE_CURRENT_LIST_DIR}/show_test.cpp
    LIBS tolmu_core tolmu_testsupport)
  add_dependencies(test_show tolmu)
endif()
