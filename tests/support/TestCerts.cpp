// SPDX-License-Identifier: GPL-3.0-or-later
#include "tests/support/TestCerts.h"

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <stdexcept>
#include <sys/stat.h>

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>

namespace testsupport {
namespace {

using KeyPtr = std::unique_ptr<EVP_PKEY, decltype(&EVP_PKEY_free)>;
using CertPtr = std::unique_ptr<X509, decltype(&X509_free)>;

[[noreturn]] void fail(const std::string& what)
{
    char buf[256] = "";
    ERR_error_string_n(ERR_get_error(), buf, sizeof buf);
    throw std::runtime_error("TestCerts: " + what + ": " + buf);
}

KeyPtr makeKey()
{
    KeyPtr k(EVP_EC_gen("P-256"), EVP_PKEY_free);
    if (!k)
        fail("key generation");
    return k;
}

void addExt(X509* cert, X509* issuer, int nid, const std::string& value)
{
    X509V3_CTX ctx;
    X509V3_set_ctx_nodb(&ctx);
    X509V3_set_ctx(&ctx, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* ext = X509V3_EXT_conf_nid(nullptr, &ctx, nid, value.c_str());
    if (!ext || !X509_add_ext(cert, ext, -1))
        fail("extension " + value);
    X509_EXTENSION_free(ext);
}

// issuer / issuerKey null: self-signed. sans: "DNS:x,IP:y" or empty for a CA.
CertPtr makeCert(const std::string& cn, const std::string& sans, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey,
                 long notBeforeDays, long notAfterDays, long serial)
{
    CertPtr c(X509_new(), X509_free);
    X509_set_version(c.get(), 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c.get()), serial);
    X509_gmtime_adj(X509_getm_notBefore(c.get()), notBeforeDays * 86400 - 3600);
    X509_gmtime_adj(X509_getm_notAfter(c.get()), notAfterDays * 86400);
    X509_set_pubkey(c.get(), key);
    X509_NAME* name = X509_get_subject_name(c.get());
    X509_NAME_add_entry_by_txt(name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Tolmu tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(cn.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer : c.get();
    X509_set_issuer_name(c.get(), X509_get_subject_name(signer));
    addExt(c.get(), signer, NID_subject_key_identifier, "hash");
    addExt(c.get(), signer, NID_authority_key_identifier, "keyid:always");
    if (sans.empty()) {
        addExt(c.get(), signer, NID_basic_constraints, "critical,CA:TRUE");
        addExt(c.get(), signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExt(c.get(), signer, NID_basic_constraints, "critical,CA:FALSE");
        addExt(c.get(), signer, NID_key_usage, "critical,digitalSignature");
        addExt(c.get(), signer, NID_ext_key_usage, "serverAuth");
        addExt(c.get(), signer, NID_subject_alt_name, sans);
    }
    if (!X509_sign(c.get(), issuerKey ? issuerKey : key, EVP_sha256()))
        fail("signing " + cn);
    return c;
}

void writePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    std::FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("TestCerts: cannot write " + path);
    const bool ok = cert ? PEM_write_X509(f, cert) : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr);
    std::fclose(f);
    if (!ok)
        fail("writing " + path);
    // The mail server's unprivileged processes may read these.
    ::chmod(path.c_str(), 0644);
}

} // namespace

TestCerts::TestCerts()
{
    const char* tmp = std::getenv("TMPDIR");
    std::string templ = std::string(tmp && *tmp ? tmp : "/tmp") + "/tolmu-certs-XXXXXX";
    if (!::mkdtemp(templ.data()))
        throw std::runtime_error("TestCerts: cannot create " + templ);
    m_dir = templ;
    ::chmod(m_dir.c_str(), 0711);
    try {
        const std::string local = "DNS:localhost,IP:127.0.0.1";
        KeyPtr caKey = makeKey();
        CertPtr ca = makeCert("Tolmu Test CA", "", caKey.get(), nullptr, nullptr, 0, 365, 1);
        writePem(CaFile(), ca.get(), nullptr);

        struct Leaf {
            const char* name;
            const char* cn;
            std::string sans;
            bool selfSigned;
            long notAfterDays;
        };
        std::string many = local;
        for (int i = 0; i < 8000; ++i)
            many += ",DNS:host" + std::to_string(i) + ".example.test";
        const Leaf leaves[] = {
            {"server", "localhost", local, false, 365},
            {"other", "mail.example.test", "DNS:mail.example.test", false, 365},
            {"self", "localhost", local, true, 365},
            {"expired", "localhost", local, false, -1},
            {"huge", "localhost", many, false, 365},
        };
        long serial = 2;
        for (const Leaf& l : leaves) {
            KeyPtr key = makeKey();
            const long notBefore = l.notAfterDays < 0 ? -30 : 0;
            CertPtr cert = l.selfSigned
                               ? makeCert(l.cn, l.sans, key.get(), nullptr, nullptr, notBefore, l.notAfterDays, serial++)
                               : makeCert(l.cn, l.sans, key.get(), ca.get(), caKey.get(), notBefore, l.notAfterDays, serial++);
            writePem(pair(l.name).cert, cert.get(), nullptr);
            writePem(pair(l.name).key, nullptr, key.get());
        }
    } catch (...) {
        std::error_code ec;
        std::filesystem::remove_all(m_dir, ec);
        throw;
    }
}

TestCerts::~TestCerts()
{
    std::error_code ec;
    std::filesystem::remove_all(m_dir, ec);
}

} // namespace testsupport
