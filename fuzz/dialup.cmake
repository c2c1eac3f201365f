# The pid-file and command-line readers the ppp hang-up decision rests on.
tolmu_add_fuzzer(fuzz_dialup ${CMAKE_CURRENT_LIST_DIR}/fuzz_dialup.cpp tolmu_dialup)
