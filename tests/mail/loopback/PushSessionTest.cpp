// Push sessions against a real Dovecot on loopback: news while idling, the ends a session can
// come to (server restart, a path gone silent, a wrong password), over TLS from the start and
// after STARTTLS.
#include "net/ImapPush.h"
#include "tests/fixtures/Dovecot.h"
#include "tests/fixtures/Relay.h"
#include "tests/fixtures/Wait.h"

#include <gtest/gtest.h>

#include <memory>
#include <optional>

using testing_support::Dovecot;
using testing_support::Relay;
using testing_support::WaitUntil;

namespace {

// A session and what it told.
struct Watched {
    std::unique_ptr<net::TImapPush> session;
    int changes = 0;
    int idlings = 0;
    std::optional<net::TImapPush::End> end;
    std::string text;

    Watched(std::uint16_t port, bool implicitTls, const std::string& password, net::PushTimings timings = {})
    {
        net::TImapPush::Target target;
        target.host = "127.0.0.1";
        target.port = port;
        target.implicitTls = implicitTls;
        target.user = "anna";
        target.password = password;
        target.mailbox = "INBOX";
        session = std::make_unique<net::TImapPush>(nullptr, target, timings);
        session->OnChanged = [this] { ++changes; };
        session->OnIdling = [this] { ++idlings; };
        session->OnEnded = [this](net::TImapPush::End e, const std::string& t) {
            end = e;
            text = t;
        };
        session->Start();
    }
};

class PushSession : public testing::TestWithParam<bool> {
protected:
    static void SetUpTestSuite()
    {
        // Keepalive lines every second, so that a silent path is found within seconds.
        dovecot = std::make_unique<Dovecot>("imap_idle_notify_interval = 1 secs");
        dovecot->AddUser("anna", "anna-secret", 2, 1);
    }
    static void TearDownTestSuite() { dovecot.reset(); }
    static std::uint16_t Port(bool implicitTls) { return implicitTls ? dovecot->imapsPort() : dovecot->imapPort(); }

    static std::unique_ptr<Dovecot> dovecot;
};

std::unique_ptr<Dovecot> PushSession::dovecot;

TEST_P(PushSession, DeliveryAndExpungeAreToldWhileIdling)
{
    Watched w(Port(GetParam()), GetParam(), "anna-secret");
    ASSERT_TRUE(WaitUntil([&] { return w.idlings > 0 || w.end; }, 10000)) << "no IDLE";
    ASSERT_FALSE(w.end) << w.text;
    dovecot->Deliver("anna");
    EXPECT_TRUE(WaitUntil([&] { return w.changes > 0; }, 10000));
    // After DONE the session idles again, and hears of the next change too.
    ASSERT_TRUE(WaitUntil([&] { return w.idlings > 1 && w.session->Idling(); }, 10000));
    const int before = w.changes;
    ASSERT_TRUE(dovecot->Expunge("anna"));
    EXPECT_TRUE(WaitUntil([&] { return w.changes > before; }, 10000));
    EXPECT_FALSE(w.end) << w.text;
}

TEST_P(PushSession, WrongPasswordEndsAsARefusedLogin)
{
    Watched w(Port(GetParam()), GetParam(), "not-her-password");
    ASSERT_TRUE(WaitUntil([&] { return w.end.has_value(); }, 10000));
    EXPECT_EQ(*w.end, net::TImapPush::End::LoginFailed);
    EXPECT_EQ(w.idlings, 0);
}

INSTANTIATE_TEST_SUITE_P(Tls, PushSession, testing::Bool(),
    [](const testing::TestParamInfo<bool>& info) { return info.param ? "Imaps" : "ImapStartTls"; });

TEST(PushSessionEnds, AServerRestartEndsTheSessionAsLost)
{
    Dovecot dovecot;
    dovecot.AddUser("anna", "anna-secret", 1, 0);
    Watched w(dovecot.imapsPort(), true, "anna-secret");
    ASSERT_TRUE(WaitUntil([&] { return w.idlings > 0 || w.end; }, 10000));
    ASSERT_FALSE(w.end) << w.text;
    ASSERT_TRUE(dovecot.Restart());
    ASSERT_TRUE(WaitUntil([&] { return w.end.has_value(); }, 10000));
    EXPECT_EQ(*w.end, net::TImapPush::End::Lost) << w.text;
}

// A path that carries nothing any more, without a reset: found by the missing keepalive lines,
// after twice their interval (learnt from the server), not after the long wait for silent servers.
TEST(PushSessionEnds, ASilencedPathIsFoundDeadByTheMissingKeepalive)
{
    Dovecot dovecot("imap_idle_notify_interval = 1 secs");
    dovecot.AddUser("anna", "anna-secret", 1, 0);
    Relay relay(dovecot.imapsPort());
    net::PushTimings timings;
    timings.silentServer = std::chrono::minutes(10);
    Watched w(relay.port(), true, "anna-secret", timings);
    ASSERT_TRUE(WaitUntil([&] { return w.idlings > 0 || w.end; }, 10000));
    ASSERT_FALSE(w.end) << w.text;
    // Two keepalive lines apart give the interval.
    ASSERT_TRUE(WaitUntil([&] { return w.session->DeadAfter() < std::chrono::seconds(10); }, 10000));
    relay.Silence();
    ASSERT_TRUE(WaitUntil([&] { return w.end.has_value(); }, 20000));
    EXPECT_EQ(*w.end, net::TImapPush::End::Lost);
    EXPECT_EQ(w.text, "The mail server has not been heard from; the connection is made again");
}

// A server that sends no keepalive is given the long wait, then found dead the same way.
TEST(PushSessionEnds, ASilentServerIsFoundDeadAfterTheLongWait)
{
    Dovecot dovecot;
    dovecot.AddUser("anna", "anna-secret", 1, 0);
    Relay relay(dovecot.imapsPort());
    net::PushTimings timings;
    timings.silentServer = std::chrono::milliseconds(1500);
    Watched w(relay.port(), true, "anna-secret", timings);
    ASSERT_TRUE(WaitUntil([&] { return w.idlings > 0 || w.end; }, 10000));
    ASSERT_FALSE(w.end) << w.text;
    relay.Silence();
    ASSERT_TRUE(WaitUntil([&] { return w.end.has_value(); }, 10000));
    EXPECT_EQ(*w.end, net::TImapPush::End::Lost);
}

} // namespace
