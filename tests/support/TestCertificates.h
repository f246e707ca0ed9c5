// A certificate authority and server certificates made at test time with OpenSSL, kept as PEM
// files in a temporary folder for the life of the process; the process trusts the authority.
#pragma once

#include <string>

namespace testing_support {

struct TlsIdentity {
    std::string certificateFile;
    std::string keyFile;
};

class TestCertificates {
public:
    // Made at the first call; also points SSL_CERT_FILE at the authority's certificate.
    static const TestCertificates& Shared();

    std::string authorityFile;
    // For "localhost" and 127.0.0.1, signed by the trusted authority.
    TlsIdentity localhost;
    // The same names, but no longer valid since yesterday.
    TlsIdentity expired;
    // For mail.example.org only.
    TlsIdentity wrongName;
    // For localhost and 127.0.0.1, signed by itself.
    TlsIdentity selfSigned;
    // "localhost" only as the subject's common name, with no subject alternative names; trusted.
    TlsIdentity subjectNameOnly;
    // For localhost and 127.0.0.1, signed by an authority nobody trusts.
    TlsIdentity unknownAuthority;

    ~TestCertificates();
    TestCertificates(const TestCertificates&) = delete;
    TestCertificates& operator=(const TestCertificates&) = delete;

private:
    TestCertificates();
    std::string dir_;
};

} // namespace testing_support
