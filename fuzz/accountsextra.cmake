# AccountsExtra.ini, damaged or hand-edited, through the reader and back.
tolmu_add_fuzzer(fuzz_accountsextra ${CMAKE_CURRENT_LIST_DIR}/fuzz_accountsextra.cpp tolmu_core)
