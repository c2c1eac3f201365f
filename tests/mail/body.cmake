# Base64, temporary files and the MIME body reader (no network).
tolmu_add_test(test_mail_coder SOURCES coder_test.cpp LIBS tolmu_net)
tolmu_add_test(test_mail_body SOURCES body_test.cpp LIBS tolmu_net)
tolmu_add_test(test_mail_message_body SOURCES message_body_test.cpp LIBS tolmu_net)
