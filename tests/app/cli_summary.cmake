# The program entry without a mode, run as a user runs it.
if(TARGET tolmu)
  add_test(NAME test_cli_summary
    COMMAND bash ${CMAKE_CURRENT_SOURCE_DIR}/cli_summary_test.sh $<TARGET_FILE:tolmu>
            ${CMAKE_SOURCE_DIR}/assets)
  set_tests_properties(test_cli_summary PROPERTIES TIMEOUT 60)
endif()
