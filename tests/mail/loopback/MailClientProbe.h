// Helpers of the mail client tests: a client set up for a loopback server, errors as texts.
#pragma once

#include "net/ImapCheck.h"
#include "net/Pop3Check.h"

#include <cstdint>
#include <functional>
#include <string>

namespace mail_tests {

template <typename Client> void Aim(Client& client, std::uint16_t port, bool implicitTls, int timeOut = 10000)
{
    client.Host = "127.0.0.1";
    client.Port = port;
    client.ImplicitTLS = implicitTls;
    client.TimeOut = timeOut;
}

inline std::string ErrorOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const net::EAbortError& e) {
        return "abort: " + e.Message;
    } catch (const net::ESockError& e) {
        return e.Message;
    }
    return "no error";
}

inline std::string Describe(const net::MailCount& c)
{
    switch (c.outcome) {
    case net::MailCount::Outcome::Count:
        return std::to_string(c.count);
    case net::MailCount::Outcome::LoginRefused:
        return c.alert.empty() ? "login refused" : "login refused: " + c.alert;
    case net::MailCount::Outcome::SignInRefused:
        return "sign-in refused: " + c.refusal;
    case net::MailCount::Outcome::BadReply:
        break;
    }
    return "bad reply";
}

} // namespace mail_tests
