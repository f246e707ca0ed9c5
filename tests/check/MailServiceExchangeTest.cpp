#include "tools/mailservice/Exchange.h"

#include <gtest/gtest.h>

using namespace mailservice;

namespace {

Request Get(const std::string& target, const std::string& headers = "")
{
    auto r = ParseRequestHead("GET " + target + " HTTP/1.0\r\nHost: h\r\n" + headers + "\r\n");
    EXPECT_TRUE(r.has_value());
    return r.value_or(Request {});
}

Account Make(std::string user, std::string password, int count)
{
    Account a;
    a.user = std::move(user);
    a.password = std::move(password);
    a.newMessages = count;
    return a;
}

std::string Body(const std::string& reply)
{
    return reply.substr(reply.find("\r\n\r\n") + 4);
}

} // namespace

TEST(MailServiceExchange, ParsesOriginAndAbsoluteForm)
{
    auto origin = Get("/cgi-bin/start?login=a&passwd=b&frames=no");
    EXPECT_FALSE(origin.absoluteForm);
    EXPECT_EQ(origin.path, "/cgi-bin/start");
    EXPECT_EQ(origin.query, "login=a&passwd=b&frames=no");
    auto absolute = Get("http://login.mail.example.com:80/cgi-bin/start?login=a");
    EXPECT_TRUE(absolute.absoluteForm);
    EXPECT_EQ(absolute.path, "/cgi-bin/start");
    EXPECT_EQ(absolute.host, "h");
    EXPECT_FALSE(ParseRequestHead("garbage\r\n\r\n"));
}

TEST(MailServiceExchange, LoginAnswersCountOrFailure)
{
    Responder r({ Make("alice", "p&w=#", 3) }, std::nullopt);
    const auto ok = r.Answer(Get("/cgi-bin/start?login=alice&passwd=p&w=#&frames=no"));
    EXPECT_NE(Body(ok.bytes).find("messages, 3 new"), std::string::npos);
    const auto wrong = r.Answer(Get("/cgi-bin/start?login=alice&passwd=nope&frames=no"));
    EXPECT_NE(Body(wrong.bytes).find("Login Failed"), std::string::npos);
    EXPECT_EQ(Body(wrong.bytes).find("messages,"), std::string::npos);
}

TEST(MailServiceExchange, EncodedBlanksMatch)
{
    Responder r({ Make("a b", "x\ty", 4) }, std::nullopt);
    EXPECT_EQ(LoginQuery("a b", "x\ty"), "login=a%20b&passwd=x%09y&frames=no");
    const auto ok = r.Answer(Get("/cgi-bin/start?" + LoginQuery("a b", "x\ty")));
    EXPECT_NE(ok.bytes.find("messages, 4 new"), std::string::npos);
}

TEST(MailServiceExchange, RedirectWithSessionCookie)
{
    Account a = Make("bob", "pw", 2);
    a.redirect = true;
    Responder r({ a }, std::nullopt);
    const auto first = r.Answer(Get("/cgi-bin/start?login=bob&passwd=pw&frames=no"));
    ASSERT_EQ(first.bytes.rfind("HTTP/1.0 302", 0), 0u);
    const auto cookieAt = first.bytes.find("Set-Cookie: ");
    ASSERT_NE(cookieAt, std::string::npos);
    const std::string cookie = first.bytes.substr(cookieAt + 12, first.bytes.find("\r\n", cookieAt) - cookieAt - 12);
    EXPECT_NE(first.bytes.find("Location: /cgi-bin/inbox\r\n"), std::string::npos);
    const auto second = r.Answer(Get("/cgi-bin/inbox", "Cookie: " + cookie + "\r\n"));
    EXPECT_NE(second.bytes.find("messages, 2 new"), std::string::npos);
    const auto stranger = r.Answer(Get("/cgi-bin/inbox"));
    EXPECT_NE(stranger.bytes.find("Login Failed"), std::string::npos);
}

TEST(MailServiceExchange, VersionDocument)
{
    Responder with({}, std::string("0.2.4"));
    const auto reply = with.Answer(Get("/quorvel/verInfo"));
    EXPECT_EQ(Body(reply.bytes), "0.2.4");
    Responder without({}, std::nullopt);
    EXPECT_EQ(without.Answer(Get("/quorvel/verInfo")).bytes.rfind("HTTP/1.0 404", 0), 0u);
}

TEST(MailServiceExchange, AccountLines)
{
    std::string error;
    auto a = ParseAccountArgument("u\\x3Av:p\\x20w:page=no count here:redirect:fault=stall:delay=50", error);
    ASSERT_TRUE(a) << error;
    EXPECT_EQ(a->user, "u:v");
    EXPECT_EQ(a->password, "p w");
    EXPECT_EQ(a->page, "no count here");
    EXPECT_TRUE(a->redirect);
    EXPECT_EQ(a->fault, Fault::Stall);
    EXPECT_EQ(a->delayMs, 50);
    EXPECT_FALSE(ParseAccountArgument("u:p:many", error));
    EXPECT_FALSE(ParseAccountArgument("u:p", error));
}
