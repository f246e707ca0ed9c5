#include "app/MailServerAddress.h"

#include "platform/core/Exceptions.h"

#include <gtest/gtest.h>

using app::MailServerAddress;
using app::ReadMailServerAddress;
using Protocol = MailServerAddress::Protocol;

namespace {

struct Row {
    const char* text;
    Protocol protocol;
    bool implicitTls;
    const char* host;
    int port;
    const char* mailbox;
};

class Addresses : public ::testing::TestWithParam<Row> { };

TEST_P(Addresses, AreRead)
{
    const Row& row = GetParam();
    const auto a = ReadMailServerAddress(QString::fromUtf8(row.text));
    ASSERT_TRUE(a) << row.text;
    EXPECT_EQ(a->protocol, row.protocol) << row.text;
    EXPECT_EQ(a->implicitTls, row.implicitTls) << row.text;
    EXPECT_EQ(a->host, row.host) << row.text;
    EXPECT_EQ(a->port, row.port) << row.text;
    EXPECT_EQ(a->mailbox.toStdString(), row.mailbox) << row.text;
}

INSTANTIATE_TEST_SUITE_P(Table, Addresses,
    ::testing::Values(Row { "imaps://imap.example.org", Protocol::Imap, true, "imap.example.org", 993, "INBOX" },
        Row { "imap://mail.example.org", Protocol::Imap, false, "mail.example.org", 143, "INBOX" },
        Row { "pop3s://pop.example.org", Protocol::Pop3, true, "pop.example.org", 995, "" },
        Row { "pop3://pop.example.org", Protocol::Pop3, false, "pop.example.org", 110, "" },
        Row { "IMAPS://Imap.Example.Org:1993/", Protocol::Imap, true, "Imap.Example.Org", 1993, "INBOX" },
        Row { "Pop3://127.0.0.1:2110", Protocol::Pop3, false, "127.0.0.1", 2110, "" },
        Row { "pop3s://127.0.0.1:2995/", Protocol::Pop3, true, "127.0.0.1", 2995, "" },
        Row { "imaps://10.0.0.100", Protocol::Imap, true, "10.0.0.100", 993, "INBOX" },
        Row { "imaps://0x.example.org", Protocol::Imap, true, "0x.example.org", 993, "INBOX" },
        Row { "imaps://localhost/Archiv/2024", Protocol::Imap, true, "localhost", 993, "Archiv/2024" },
        Row { "imaps://localhost:65535/Entw\xc3\xbcrfe", Protocol::Imap, true, "localhost", 65535, "Entw\xc3\xbcrfe" },
        Row { "  imaps://mx_1.example.org  ", Protocol::Imap, true, "mx_1.example.org", 993, "INBOX" },
        // Provider host types stand for their provider's server.
        Row { "Gmail", Protocol::Imap, true, "imap.gmail.com", 993, "INBOX" },
        Row { "Outlook.com", Protocol::Imap, true, "outlook.office365.com", 993, "INBOX" },
        Row { "Yahoo", Protocol::Imap, true, "imap.mail.yahoo.com", 993, "INBOX" },
        Row { "iCloud", Protocol::Imap, true, "imap.mail.me.com", 993, "INBOX" },
        Row { "Fastmail", Protocol::Imap, true, "imap.fastmail.com", 993, "INBOX" },
        Row { "GMX", Protocol::Imap, true, "imap.gmx.net", 993, "INBOX" },
        Row { "Zoho", Protocol::Imap, true, "imap.zoho.com", 993, "INBOX" }));

TEST(OtherHostTypes, AreNoMailServerAddress)
{
    for (const char* text :
        { "Hotmail", "Hotbot", "", "gmail", "GMAIL", " Gmail", "Outlook", "Hotmail.com", "imap.example.org",
            "http://imap.example.org", "smtp://mail.example.org", "imapx://host", "mail imaps://host" })
        EXPECT_FALSE(ReadMailServerAddress(text)) << text;
}

TEST(BadAddresses, RaiseWithTheTextAsTyped)
{
    for (const char* text : { "imaps://", "imaps:host", "imaps:/host", "imap://:143", "imaps://host:", "imaps://host:0",
             "imaps://host:65536", "imaps://host:99999", "imaps://host:14x3", "imaps://host:-1", "pop3://host/INBOX",
             "imaps://user@host", "imaps://ho st", "imaps://-host", "imaps://host..org", "imaps://1.2.3",
             "imaps://256.1.1.1", "imaps://[::1]:993", "imaps://h\xc3\xb6st", "POP3S://",
             // Numbers that some reader of the address takes another way: signs, leading zeros
             // (octal to the connect), hexadecimal, a name ending in a number.
             "imaps://+1.2.3.4", "imaps://1.2.3.+4", "imaps://127.0.0.010", "imaps://127.0.0.01", "imaps://00.0.0.1",
             "imaps://0x7f.0.0.1", "imaps://0x7f000001", "imaps://host.0x1f", "imaps://mail.example.42" }) {
        try {
            ReadMailServerAddress(QString::fromUtf8(text));
            ADD_FAILURE() << "no error for " << text;
        } catch (const platform::Exception& e) {
            EXPECT_EQ(e.Message, std::string("Bad mail server address: ") + text);
        }
    }
}

} // namespace
