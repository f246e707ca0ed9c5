// libFuzzer entry: the IMAP and POP3 conversations against whatever a server sends. The input is
// a transcript (its server lines are played, whatever the client sends is taken); its first
// byte picks the protocol and whether TLS came first, so every seed is tried every way.
#include "net/ImapCheck.h"
#include "net/Pop3Check.h"
#include "net/SaslPlain.h"
#include "tests/support/MailTranscript.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string_view>

namespace {

const std::string kUser = "anna";
const std::string kPassword = "s3cr3t-Pw";

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const testing_support::Transcript t = testing_support::ReadTranscript(text);
    const unsigned pick = size > 0 ? data[0] : 0;
    const bool implicitTls = (pick & 1) == 0;
    testing_support::TranscriptChannel channel(t, implicitTls, false);
    try {
        if (pick & 2) {
            net::Pop3Conversation(channel, implicitTls).CheckMaildrop(kUser, kPassword);
        } else {
            net::ImapConversation c(channel, implicitTls);
            if (pick & 4)
                c.OpenForPush(kUser, kPassword, "INBOX");
            else
                c.CheckMailbox(kUser, kPassword, "INBOX");
        }
    } catch (const net::ESockError&) {
        // Every way a server can go wrong ends as an error of the check.
    }
    // The password goes only through the gate for secrets, never as a plain command line.
    const std::string& lines = channel.SentAsLines();
    if (lines.find(kPassword) != std::string::npos || lines.find(net::SaslPlain(kUser, kPassword)) != std::string::npos)
        std::abort();
    return 0;
}
