# bench_gui: the main window against a bare frameless Qt window (first
# paint, memory, idle CPU, event gaps). Needs the test helpers and the
# window library. Run bench/gui_bench.sh.
if(TARGET tolmu_app AND TARGET tolmu_testsupport)
  add_executable(bench_bare_window ${CMAKE_CURRENT_LIST_DIR}/bare_window.cpp)
  target_link_libraries(bench_bare_window PRIVATE Qt6::Widgets)
  add_executable(bench_gui ${CMAKE_CURRENT_LIST_DIR}/gui_bench.cpp)
  target_link_libraries(bench_gui PRIVATE tolmu_app tolmu_testsupport)
  target_compile_definitions(bench_gui PRIVATE TOLMU_SOURCE_DIR="${CMAKE_SOURCE_DIR}")
  add_dependencies(bench_gui bench_bare_window)
endif()
