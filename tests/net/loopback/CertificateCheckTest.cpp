#include "net/Psock.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"
#include "tests/net/loopback/SocketSupport.h"

#include <gtest/gtest.h>

#include <openssl/ssl.h>

using loopback::messageOf;
using net::TPowersock;
using testing_support::TestCertificates;
using testing_support::TlsIdentity;
using testing_support::TlsPeer;
using testing_support::TlsServer;

namespace {

struct Refused {
    std::string message;
    std::size_t bytesTheServerRead = 0;
    bool connected = true;
    bool secure = true;
};

// The client does what a mail client does: secure the connection, then log in at once.
Refused loginOver(const TlsIdentity& identity, const std::string& host, TlsServer::Options options = {})
{
    TlsServer server(
        identity,
        [](TlsPeer& p) {
            if (!p.Handshake())
                return;
            p.ReadLine();
            p.Write("a OK logged in\r\n");
            p.ReadUntilClose();
        },
        options);
    TPowersock s(nullptr);
    loopback::connectTo(s, server.port(), 10000, host);
    Refused r;
    r.message = messageOf([&] {
        s.StartTLS();
        s.Writeln("a LOGIN user secret");
        s.ReadLn();
    });
    r.connected = s.Connected;
    r.secure = s.Secure();
    s.Disconnect();
    server.finish();
    r.bytesTheServerRead = server.applicationBytes;
    return r;
}

} // namespace

TEST(CertificateCheck, AnAuthorityNobodyTrustsIsRefusedBeforeAnyByteIsSent)
{
    const Refused r = loginOver(TestCertificates::Shared().unknownAuthority, "localhost");
    EXPECT_EQ(r.message, "TLS certificate not trusted: unable to get local issuer certificate");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
    EXPECT_FALSE(r.connected);
    EXPECT_FALSE(r.secure);
}

TEST(CertificateCheck, ACertificateForAnotherNameIsRefused)
{
    const Refused r = loginOver(TestCertificates::Shared().wrongName, "localhost");
    EXPECT_EQ(r.message, "TLS certificate does not match host localhost");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
    EXPECT_FALSE(r.connected);
}

TEST(CertificateCheck, ANameOnlyInTheSubjectIsRefused)
{
    const Refused r = loginOver(TestCertificates::Shared().subjectNameOnly, "localhost");
    EXPECT_EQ(r.message, "TLS certificate does not match host localhost");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
    EXPECT_FALSE(r.connected);
}

TEST(CertificateCheck, AnAddressMustBeInTheCertificateAsAnAddress)
{
    const Refused r = loginOver(TestCertificates::Shared().wrongName, "127.0.0.1");
    EXPECT_EQ(r.message, "TLS certificate does not match host 127.0.0.1");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
}

TEST(CertificateCheck, AnExpiredCertificateIsRefused)
{
    const Refused r = loginOver(TestCertificates::Shared().expired, "localhost");
    EXPECT_EQ(r.message, "TLS certificate not trusted: certificate has expired");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
}

TEST(CertificateCheck, ASelfSignedCertificateIsRefused)
{
    const Refused r = loginOver(TestCertificates::Shared().selfSigned, "localhost");
    EXPECT_EQ(r.message, "TLS certificate not trusted: self-signed certificate");
    EXPECT_EQ(r.bytesTheServerRead, 0u);
}

TEST(CertificateCheck, AServerThatSpeaksOnlyTls10IsRefused)
{
    TlsServer::Options old;
    old.minVersion = TLS1_VERSION;
    old.maxVersion = TLS1_VERSION;
    const Refused r = loginOver(TestCertificates::Shared().localhost, "localhost", old);
    EXPECT_EQ(r.message.rfind("TLS handshake failed: ", 0), 0u) << r.message;
    EXPECT_GT(r.message.size(), std::string("TLS handshake failed: ").size());
    EXPECT_EQ(r.bytesTheServerRead, 0u);
    EXPECT_FALSE(r.connected);
}

TEST(CertificateCheck, TheTrustedCertificateForTheNameIsAccepted)
{
    const Refused r = loginOver(TestCertificates::Shared().localhost, "localhost");
    EXPECT_EQ(r.message, "no exception");
    EXPECT_TRUE(r.secure);
    EXPECT_EQ(r.bytesTheServerRead, std::string("a LOGIN user secret\r\n").size());
}
