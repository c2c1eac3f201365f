# The MIME body reader over a memory stream, and the base64 line decoder.
tolmu_add_fuzzer(fuzz_body ${CMAKE_CURRENT_LIST_DIR}/fuzz_body.cpp tolmu_net)
tolmu_add_fuzzer(fuzz_decodeline ${CMAKE_CURRENT_LIST_DIR}/fuzz_decodeline.cpp tolmu_mail)
