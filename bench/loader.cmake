# bench_loader: time of one full start-up load (Tolmu.ini, a full
# Accounts.ini and the bundled skin), every value a fresh scan of its file.
add_executable(bench_loader ${CMAKE_CURRENT_LIST_DIR}/loader_bench.cpp)
target_link_libraries(bench_loader PRIVATE tolmu_core)
target_compile_definitions(bench_loader PRIVATE TOLMU_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
