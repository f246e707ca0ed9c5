#include "tests/support/TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509v3.h>
#include <stdexcept>

namespace testing_support {
namespace {

struct KeyFree {
    void operator()(EVP_PKEY* k) const { EVP_PKEY_free(k); }
};
struct CertFree {
    void operator()(X509* c) const { X509_free(c); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;
using Cert = std::unique_ptr<X509, CertFree>;

constexpr long kDay = 24 * 60 * 60;

Key makeKey()
{
    Key key(EVP_EC_gen("P-256"));
    if (!key)
        throw std::runtime_error("TestCertificates: key generation failed");
    return key;
}

void addExtension(X509* cert, X509* issuer, int nid, const char* value)
{
    X509V3_CTX context;
    X509V3_set_ctx(&context, issuer, cert, nullptr, nullptr, 0);
    X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
    if (!extension)
        throw std::runtime_error("TestCertificates: bad extension");
    X509_add_ext(cert, extension, -1);
    X509_EXTENSION_free(extension);
}

struct CertificateRequest {
    std::string commonName;
    const char* altNames = nullptr; // nullptr: an authority
    long notBefore = -kDay; // seconds from now
    long notAfter = 30 * kDay;
};

// Signed by `issuer` with `issuerKey`, or by itself when issuer is null.
Cert makeCertificate(const CertificateRequest& request, EVP_PKEY* key, X509* issuer, EVP_PKEY* issuerKey)
{
    static long serial = 1;
    Cert cert(X509_new());
    X509* c = cert.get();
    X509_set_version(c, 2);
    ASN1_INTEGER_set(X509_get_serialNumber(c), ++serial);
    X509_gmtime_adj(X509_getm_notBefore(c), request.notBefore);
    X509_gmtime_adj(X509_getm_notAfter(c), request.notAfter);
    X509_set_pubkey(c, key);
    X509_NAME* name = X509_get_subject_name(c);
    X509_NAME_add_entry_by_txt(
        name, "O", MBSTRING_ASC, reinterpret_cast<const unsigned char*>("Quorvel tests"), -1, -1, 0);
    X509_NAME_add_entry_by_txt(
        name, "CN", MBSTRING_ASC, reinterpret_cast<const unsigned char*>(request.commonName.c_str()), -1, -1, 0);
    X509* signer = issuer ? issuer : c;
    X509_set_issuer_name(c, X509_get_subject_name(signer));
    addExtension(c, signer, NID_subject_key_identifier, "hash");
    if (!request.altNames) {
        addExtension(c, signer, NID_basic_constraints, "critical,CA:TRUE");
        addExtension(c, signer, NID_key_usage, "critical,keyCertSign,cRLSign");
    } else {
        addExtension(c, signer, NID_basic_constraints, "critical,CA:FALSE");
        addExtension(c, signer, NID_key_usage, "critical,digitalSignature");
        addExtension(c, signer, NID_ext_key_usage, "serverAuth");
        if (*request.altNames)
            addExtension(c, signer, NID_subject_alt_name, request.altNames);
        if (issuer)
            addExtension(c, signer, NID_authority_key_identifier, "keyid");
    }
    if (X509_sign(c, issuerKey ? issuerKey : key, EVP_sha256()) <= 0)
        throw std::runtime_error("TestCertificates: signing failed");
    return cert;
}

void writePem(const std::string& path, X509* cert, EVP_PKEY* key)
{
    FILE* f = std::fopen(path.c_str(), "w");
    if (!f)
        throw std::runtime_error("TestCertificates: cannot write " + path);
    const bool ok = cert ? PEM_write_X509(f, cert) == 1
                         : PEM_write_PrivateKey(f, key, nullptr, nullptr, 0, nullptr, nullptr) == 1;
    std::fclose(f);
    if (!ok)
        throw std::runtime_error("TestCertificates: cannot write " + path);
}

TlsIdentity store(const std::string& dir, const std::string& stem, X509* cert, EVP_PKEY* key)
{
    TlsIdentity id { dir + "/" + stem + ".crt", dir + "/" + stem + ".key" };
    writePem(id.certificateFile, cert, nullptr);
    writePem(id.keyFile, nullptr, key);
    return id;
}

constexpr const char* kLocalNames = "DNS:localhost,IP:127.0.0.1";

} // namespace

const TestCertificates& TestCertificates::Shared()
{
    static TestCertificates certificates;
    return certificates;
}

TestCertificates::TestCertificates()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-certs-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("TestCertificates: mkdtemp failed");
    dir_ = pattern;

    const Key authorityKey = makeKey();
    const Cert authority = makeCertificate({ "Quorvel Test Authority" }, authorityKey.get(), nullptr, nullptr);
    authorityFile = dir_ + "/authority.crt";
    writePem(authorityFile, authority.get(), nullptr);

    const Key serverKey = makeKey();
    const auto signedBy = [&](const CertificateRequest& request) {
        return makeCertificate(request, serverKey.get(), authority.get(), authorityKey.get());
    };
    localhost = store(dir_, "localhost", signedBy({ "localhost", kLocalNames }).get(), serverKey.get());
    expired = store(dir_, "expired", signedBy({ "localhost", kLocalNames, -30 * kDay, -kDay }).get(), serverKey.get());
    wrongName
        = store(dir_, "wrong-name", signedBy({ "mail.example.org", "DNS:mail.example.org" }).get(), serverKey.get());
    subjectNameOnly = store(dir_, "subject-name-only", signedBy({ "localhost", "" }).get(), serverKey.get());
    selfSigned = store(dir_, "self-signed",
        makeCertificate({ "localhost", kLocalNames }, serverKey.get(), nullptr, nullptr).get(), serverKey.get());

    const Key otherKey = makeKey();
    const Cert other = makeCertificate({ "Untrusted Test Authority" }, otherKey.get(), nullptr, nullptr);
    unknownAuthority = store(dir_, "unknown-authority",
        makeCertificate({ "localhost", kLocalNames }, serverKey.get(), other.get(), otherKey.get()).get(),
        serverKey.get());

    ::setenv("SSL_CERT_FILE", authorityFile.c_str(), 1);
}

TestCertificates::~TestCertificates()
{
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

} // namespace testing_support
