# POP3 over TLS: the TLS stream against an in-process peer, and the POP3
# client and `tolmu --check` against the test Dovecot's implicit-TLS port.
add_library(tolmu_tls_testsupport STATIC
  ${CMAKE_SOURCE_DIR}/tests/support/TestCerts.cpp
  ${CMAKE_CURRENT_LIST_DIR}/TlsPeer.cpp)
target_link_libraries(tolmu_tls_testsupport PUBLIC OpenSSL::SSL OpenSSL::Crypto)

tolmu_add_test(test_tls_stream SOURCES ${CMAKE_CURRENT_LIST_DIR}/tls_stream_test.cpp
  LIBS tolmu_net tolmu_tls_testsupport)
tolmu_add_test(test_pop3_tls SOURCES ${CMAKE_CURRENT_LIST_DIR}/pop3_tls_test.cpp
  LIBS tolmu_net tolmu_testsupport tolmu_tls_testsupport LABELS dovecot)
if(TARGET tolmu)
  tolmu_add_test(test_cli_tls SOURCES ${CMAKE_CURRENT_LIST_DIR}/cli_tls_test.cpp
    LIBS tolmu_core tolmu_testsupport tolmu_tls_testsupport LABELS dovecot)
  add_dependencies(test_cli_tls tolmu)
endif()
