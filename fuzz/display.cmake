# The display decoding: encoded words, transfer encodings, charsets, HTML.
tolmu_add_fuzzer(fuzz_display ${CMAKE_CURRENT_LIST_DIR}/fuzz_display.cpp tolmu_core)
