# bench_region: BitmapToRegion on a 1920 x 1080 skin-like bitmap against
# Qt's own route from a colour mask to a region.
if(TARGET tolmu_skin)
  add_executable(bench_region ${CMAKE_CURRENT_LIST_DIR}/region_bench.cpp)
  target_link_libraries(bench_region PRIVATE tolmu_skin)
endif()
