# bench_seenids: peak memory and time of `tolmu --check --new` with a large
# state file, its ids under the checked account or under accounts no longer
# configured. Needs the test helpers (TOLMU_TESTS) and the tolmu binary.
if(TARGET tolmu_testsupport AND TARGET tolmu)
  add_executable(bench_seenids ${CMAKE_CURRENT_LIST_DIR}/seenids_bench.cpp)
  target_link_libraries(bench_seenids PRIVATE tolmu_core tolmu_testsupport)
  target_compile_definitions(bench_seenids PRIVATE TOLMU_BINARY_DIR="${CMAKE_BINARY_DIR}")
  add_dependencies(bench_seenids tolmu)
endif()
