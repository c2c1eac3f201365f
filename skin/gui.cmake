# Qt half of the skin engine: window outlines, bitmap text, skinned controls.
file(GLOB skin_gui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(tolmu_skin_gui STATIC ${skin_gui_sources})
target_link_libraries(tolmu_skin_gui PUBLIC tolmu_core Qt6::Widgets)
