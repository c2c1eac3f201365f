# The line layer's reply and capture readers fed from memory, and the header
# parsers (unfolding, address lists, comma text, dates).
tolmu_add_fuzzer(fuzz_response ${CMAKE_CURRENT_LIST_DIR}/fuzz_response.cpp tolmu_net)
tolmu_add_fuzzer(fuzz_headers ${CMAKE_CURRENT_LIST_DIR}/fuzz_headers.cpp tolmu_mail)
