# Skin engine on screen: outlines, bitmap text, skinned controls (offscreen).
if(TARGET tolmu_skin_gui)
  find_package(Qt6 REQUIRED COMPONENTS Test)
  tolmu_add_test(test_skin_region SOURCES region_test.cpp LIBS tolmu_skin_gui Qt6::Test)
  tolmu_add_test(test_skin_text SOURCES bitmaptext_test.cpp LIBS tolmu_skin_gui)
  tolmu_add_test(test_skin_controls SOURCES controls_test.cpp LIBS tolmu_skin_gui Qt6::Test)
  tolmu_add_test(test_skin_render SOURCES render_test.cpp LIBS Qt6::Gui)
  add_dependencies(test_skin_render tolmu)
endif()
