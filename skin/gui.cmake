# Qt half of the skin engine: window outlines, bitmap text, skinned controls.
file(GLOB skin_gui_sources CONFIGURE_DEPENDS ${CMAKE_CURRENT_LIST_DIR}/*.cpp)
add_library(tolmu_skin_gui STATIC ${skin_gui_sources})
target_link_libraries(tolmu_skin_gui PUBLIC tolmu_core Qt6::Widgets)

# Painter of the bundled skins under assets/skins (run by hand after a change
# of look: tolmu_skingen assets/skins).
add_executable(tolmu_skingen ${CMAKE_SOURCE_DIR}/tools/skingen/SkinGen.cpp)
target_link_libraries(tolmu_skingen PRIVATE Qt6::Widgets)
