# bench_tls: `tolmu --check` over POP3S against curl on a large mailbox.
# Needs the test helpers (TOLMU_TESTS) and the tolmu executable (TOLMU_GUI).
if(TARGET tolmu_testsupport AND TARGET tolmu_tls_testsupport)
  add_executable(bench_tls ${CMAKE_CURRENT_LIST_DIR}/tls_bench.cpp)
  target_link_libraries(bench_tls PRIVATE tolmu_testsupport tolmu_tls_testsupport tolmu_core)
  target_compile_definitions(bench_tls PRIVATE
    TOLMU_SOURCE_DIR="${CMAKE_SOURCE_DIR}" TOLMU_BINARY_DIR="${CMAKE_BINARY_DIR}")
endif()
