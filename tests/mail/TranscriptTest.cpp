// Every transcript of tests/mail/transcripts played against the client's conversation: the
// client must send exactly the transcript's lines, upgrade where it upgrades, and come to the
// outcome its header expects (a count, "login refused", "bad reply", or the error's text).
#include "net/ImapCheck.h"
#include "net/ImapIdle.h"
#include "net/Pop3Check.h"
#include "tests/support/MailTranscript.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

using testing_support::ReadTranscript;
using testing_support::Transcript;
using testing_support::TranscriptChannel;

namespace {

std::vector<std::string> TranscriptFiles()
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(QUORVEL_TRANSCRIPTS))
        if (entry.path().extension() == ".txt")
            files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
}

std::string Describe(const net::MailCount& c)
{
    switch (c.outcome) {
    case net::MailCount::Outcome::Count:
        return std::to_string(c.count);
    case net::MailCount::Outcome::LoginRefused:
        return "login refused";
    case net::MailCount::Outcome::SignInRefused:
        return "sign-in refused: " + c.refusal;
    case net::MailCount::Outcome::BadReply:
        break;
    }
    return "bad reply";
}

// A push session: set up, then IDLE for as long as the transcript goes on ("== RENEW" is the
// timer that renews the IDLE). Its outcome: the number of changes it was told, or what ended it.
std::string PlayPush(const Transcript& t, TranscriptChannel& channel, bool implicitTls)
{
    net::ImapConversation conversation(channel, implicitTls);
    const auto start
        = conversation.OpenForPush(t.Value("user", "anna"), t.Value("password", "pw"), t.Value("mailbox", "INBOX"));
    if (start == net::ImapConversation::PushStart::LoginRefused)
        return "login refused";
    if (start == net::ImapConversation::PushStart::NoIdle)
        return "no idle";
    net::ImapIdle idle([&] { return conversation.NextTag(); });
    int changes = 0;
    std::string failure;
    const auto apply = [&](const net::ImapIdle::Step& step) {
        for (const std::string& line : step.send)
            channel.SendLine(line);
        changes += step.changed ? 1 : 0;
        failure = step.failure;
    };
    apply(idle.Begin());
    while (failure.empty() && !channel.Finished()) {
        if (channel.TakeMark("RENEW"))
            apply(idle.Renew());
        else
            apply(idle.OnLine(channel.ReadLine()));
    }
    return failure.empty() ? std::to_string(changes) + " changes" : failure;
}

// What the client's conversation came to, as the header's "expect" says it.
std::string Play(const Transcript& t, TranscriptChannel& channel)
{
    const bool implicitTls = t.Value("tls", "implicit") == "implicit";
    const std::string user = t.Value("user", "anna");
    const std::string password = t.Value("password", "pw");
    const std::string token = t.Value("token"); // a signed-in login when given
    const std::string protocol = t.Value("protocol");
    try {
        if (protocol == "imap")
            return Describe(net::ImapConversation(channel, implicitTls, token)
                                .CheckMailbox(user, password, t.Value("mailbox", "INBOX")));
        if (protocol == "imap-push")
            return PlayPush(t, channel, implicitTls);
        if (protocol == "pop3")
            return Describe(net::Pop3Conversation(channel, implicitTls, token).CheckMaildrop(user, password));
    } catch (const net::EBadReply&) {
        // A check turns a broken reply into this outcome.
        return "bad reply";
    } catch (const net::ESockError& e) {
        return e.Message;
    }
    return "unknown protocol " + protocol;
}

class MailTranscript : public testing::TestWithParam<std::string> { };

TEST_P(MailTranscript, ClientKeepsToTheTranscript)
{
    std::ifstream file(std::filesystem::path(QUORVEL_TRANSCRIPTS) / GetParam(), std::ios::binary);
    ASSERT_TRUE(file) << GetParam();
    std::stringstream text;
    text << file.rdbuf();
    std::string error;
    const Transcript t = ReadTranscript(text.str(), &error);
    ASSERT_EQ(error, "");
    ASSERT_FALSE(t.Value("expect").empty()) << "no expected outcome";

    TranscriptChannel channel(t, t.Value("tls", "implicit") == "implicit");
    std::string outcome;
    try {
        outcome = Play(t, channel);
    } catch (const testing_support::TranscriptBreak&) { }
    EXPECT_EQ(channel.Divergence(), "");
    EXPECT_EQ(outcome, t.Value("expect"));
    EXPECT_TRUE(channel.Finished()) << "the client stopped before the transcript's end";
    // Credentials pass only the gate that refuses them on a clear connection.
    EXPECT_EQ(channel.SentAsLines().find(t.Value("password", "pw")), std::string::npos);
}

INSTANTIATE_TEST_SUITE_P(
    Files, MailTranscript, testing::ValuesIn(TranscriptFiles()), [](const testing::TestParamInfo<std::string>& info) {
        std::string name = info.param.substr(0, info.param.rfind('.'));
        std::replace_if(
            name.begin(), name.end(), [](char c) { return !std::isalnum(static_cast<unsigned char>(c)); }, '_');
        return name;
    });

// A capability list is read up to a thousand lines; a longer one is no reply a server sends.
TEST(MailTranscriptLimits, CapabilityLinesUpToAThousand)
{
    for (const auto& [lines, expected] :
        std::vector<std::pair<int, std::string>> { { 999, "0" }, { 1000, "bad reply" } }) {
        std::string text = "protocol: pop3\nS: +OK ready\nC: CAPA\nS: +OK\n";
        for (int i = 0; i < lines; ++i)
            text += "S: X-CAPABILITY-" + std::to_string(i) + "\n";
        text += "S: USER\nS: .\n";
        if (expected != "bad reply")
            text += "C: USER anna\nS: +OK\nC: PASS pw\nS: +OK in\nC: STAT\nS: +OK 0 0\nC: QUIT\nS: +OK bye\n";
        const Transcript t = ReadTranscript(text);
        TranscriptChannel channel(t, true);
        EXPECT_EQ(Play(t, channel), expected) << lines << " lines";
        EXPECT_EQ(channel.Divergence(), "");
    }
}

} // namespace
