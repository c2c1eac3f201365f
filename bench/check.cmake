# bench_check: `tolmu --check` against curl's UIDL listing of the same
# Dovecot mailbox at several sizes; medians, ratio and peak memory. Needs the
# test helpers (TOLMU_TESTS) and the tolmu binary. Run bench/check_bench.sh.
if(TARGET tolmu_testsupport AND TARGET tolmu)
  add_executable(bench_check ${CMAKE_CURRENT_LIST_DIR}/check_bench.cpp)
  target_link_libraries(bench_check PRIVATE tolmu_core tolmu_testsupport)
  target_compile_definitions(bench_check PRIVATE TOLMU_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(bench_check tolmu)
endif()
