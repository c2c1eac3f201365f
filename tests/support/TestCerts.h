// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// Certificates for TLS tests, made afresh in a temporary folder for each test
// binary: a test CA, server certificates it signed, and one self-signed
// certificate. Nothing here is trusted by the system; tests point
// SSL_CERT_FILE at CaFile() to trust the CA.
#include <string>

namespace testsupport {

struct CertAndKey {
    std::string cert; // PEM certificate file
    std::string key;  // PEM private key file
};

class TestCerts {
public:
    // Generates every key and certificate (EC P-256, valid from an hour ago
    // for a year). Throws std::runtime_error when OpenSSL fails.
    TestCerts();
    // Removes the folder and everything in it.
    ~TestCerts();
    TestCerts(const TestCerts&) = delete;
    TestCerts& operator=(const TestCerts&) = delete;

    std::string Dir() const { return m_dir; }
    // The test CA's certificate: the one file to trust.
    std::string CaFile() const { return m_dir + "/ca.pem"; }
    // For "localhost" and IP 127.0.0.1, signed by the CA.
    CertAndKey Server() const { return pair("server"); }
    // For "mail.example.test" only, signed by the CA.
    CertAndKey OtherHost() const { return pair("other"); }
    // For "localhost" and 127.0.0.1, signed by itself.
    CertAndKey SelfSigned() const { return pair("self"); }
    // For "localhost" and 127.0.0.1, signed by the CA, expired a day ago.
    CertAndKey Expired() const { return pair("expired"); }
    // For "localhost", 127.0.0.1 and 8,000 more names, signed by the CA:
    // a certificate of about 170 KiB.
    CertAndKey Huge() const { return pair("huge"); }

private:
    CertAndKey pair(const std::string& name) const { return {m_dir + "/" + name + ".pem", m_dir + "/" + name + ".key"}; }
    std::string m_dir;
};

} // namespace testsupport
