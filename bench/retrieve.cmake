# bench_retrieve: the helper of bench/retrieve_bench.py. "serve" runs a
# private Dovecot holding given message files; "fetch" retrieves one message
# with TWirePOP3, its attachments decoded to their files. Needs the test
# helpers (TOLMU_TESTS).
if(TARGET tolmu_testsupport)
  add_executable(bench_retrieve ${CMAKE_CURRENT_LIST_DIR}/retrieve_bench.cpp)
  target_link_libraries(bench_retrieve PRIVATE tolmu_net tolmu_testsupport)
endif()
