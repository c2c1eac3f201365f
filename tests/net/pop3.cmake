tolmu_add_test(test_pop3_scripted SOURCES pop3_scripted_test.cpp LIBS tolmu_net tolmu_testsupport)
tolmu_add_test(test_pop3_dovecot SOURCES pop3_dovecot_test.cpp LIBS tolmu_net tolmu_testsupport
               LABELS dovecot)
tolmu_add_test(test_pop3_mailutils SOURCES pop3_mailutils_test.cpp LIBS tolmu_net tolmu_testsupport
               LABELS mailutils)
