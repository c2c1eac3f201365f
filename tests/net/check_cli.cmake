# tolmu --check end to end: the real binary over a private config folder,
# against Dovecot, a closed port and a silent server.
if(TARGET tolmu)
  tolmu_add_test(test_check_cli SOURCES check_cli_test.cpp LIBS tolmu_core tolmu_testsupport
                 LABELS dovecot)
  add_dependencies(test_check_cli tolmu)
endif()
