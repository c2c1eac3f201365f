# The --new state file and the listing lines counted against it.
tolmu_add_fuzzer(fuzz_seenids ${CMAKE_CURRENT_LIST_DIR}/fuzz_seenids.cpp tolmu_core)
