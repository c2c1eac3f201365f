# What identity and mail servers send a sign-in: the token endpoint's JSON
# answers and the SASL challenges, and the token rows of the mechanism table.
tolmu_add_fuzzer(fuzz_signin ${CMAKE_CURRENT_LIST_DIR}/fuzz_signin.cpp tolmu_signin tolmu_net)
