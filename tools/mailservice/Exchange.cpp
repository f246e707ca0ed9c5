#include "Exchange.h"

#include <algorithm>
#include <cctype>
#include <random>

namespace mailservice {
namespace {

std::string Lower(std::string text)
{
    std::transform(
        text.begin(), text.end(), text.begin(), [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text)
{
    std::size_t b = 0, e = text.size();
    while (b < e && (text[b] == ' ' || text[b] == '\t'))
        ++b;
    while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t' || text[e - 1] == '\r'))
        --e;
    return text.substr(b, e - b);
}

std::string PercentEncodeUnsafe(const std::string& text)
{
    static const char* const digits = "0123456789ABCDEF";
    std::string out;
    for (const char ch : text) {
        const auto c = static_cast<unsigned char>(ch);
        if (c <= 0x20 || c == 0x7F) {
            out += '%';
            out += digits[c >> 4];
            out += digits[c & 15];
        } else {
            out += ch;
        }
    }
    return out;
}

// The value of one cookie in a Cookie header ("a=1; b=2").
std::string CookieValue(const std::string& header, const std::string& name)
{
    std::size_t pos = 0;
    while (pos < header.size()) {
        auto end = header.find(';', pos);
        if (end == std::string::npos)
            end = header.size();
        const std::string pair = Trim(header.substr(pos, end - pos));
        if (pair.rfind(name + "=", 0) == 0)
            return pair.substr(name.size() + 1);
        pos = end + 1;
    }
    return {};
}

const char* const kSessionCookie = "qsession";

} // namespace

std::optional<Request> ParseRequestHead(const std::string& head)
{
    Request request;
    auto lineEnd = head.find('\n');
    request.line = head.substr(0, lineEnd);
    if (!request.line.empty() && request.line.back() == '\r')
        request.line.pop_back();

    const auto firstSpace = request.line.find(' ');
    if (firstSpace == std::string::npos || firstSpace == 0)
        return std::nullopt;
    request.method = request.line.substr(0, firstSpace);
    // The target runs to the last blank, so that a target that carries blanks still parses.
    const auto lastSpace = request.line.rfind(' ');
    std::string target = lastSpace > firstSpace ? request.line.substr(firstSpace + 1, lastSpace - firstSpace - 1)
                                                : request.line.substr(firstSpace + 1);
    if (target.empty())
        return std::nullopt;

    if (Lower(target.substr(0, 7)) == "http://") {
        request.absoluteForm = true;
        const auto pathStart = target.find('/', 7);
        target = pathStart == std::string::npos ? "/" : target.substr(pathStart);
    }
    if (target[0] != '/')
        return std::nullopt;
    const auto question = target.find('?');
    request.path = target.substr(0, question);
    if (question != std::string::npos)
        request.query = target.substr(question + 1);

    while (lineEnd != std::string::npos) {
        const auto start = lineEnd + 1;
        lineEnd = head.find('\n', start);
        const std::string line = head.substr(start, lineEnd == std::string::npos ? std::string::npos : lineEnd - start);
        const auto colon = line.find(':');
        if (colon == std::string::npos)
            continue;
        const std::string name = Lower(line.substr(0, colon));
        const std::string value = Trim(line.substr(colon + 1));
        if (name == "host")
            request.host = value;
        else if (name == "cookie")
            request.cookie = value;
    }
    return request;
}

std::string LoginQuery(const std::string& user, const std::string& password)
{
    return "login=" + PercentEncodeUnsafe(user) + "&passwd=" + PercentEncodeUnsafe(password) + "&frames=no";
}

std::string HttpReply(
    int status, const std::string& reason, const std::string& body, const std::vector<std::string>& extraHeaders)
{
    std::string reply = "HTTP/1.0 " + std::to_string(status) + " " + reason + "\r\n";
    reply += "Server: quorvel-mailservice\r\n";
    reply += "Content-Type: text/html\r\n";
    for (const auto& header : extraHeaders)
        reply += header + "\r\n";
    reply += "Content-Length: " + std::to_string(body.size()) + "\r\n";
    reply += "\r\n";
    reply += body;
    return reply;
}

std::string InboxPage(int newMessages)
{
    return "<html><head><title>Inbox</title></head>\r\n<body>\r\n<p>Inbox messages, " + std::to_string(newMessages)
        + " new</p>\r\n</body></html>\r\n";
}

std::string LoginFailedPage()
{
    return "<html><head><title>Sign in</title></head>\r\n<body>\r\n<h1>Login Failed</h1>\r\n"
           "<p>The user name or the password is not right.</p>\r\n</body></html>\r\n";
}

Responder::Responder(std::vector<Account> accounts, std::optional<std::string> version)
    : accounts_(std::move(accounts))
    , version_(std::move(version))
{ }

Reply Responder::Answer(const Request& request)
{
    if (request.method != "GET")
        return { HttpReply(501, "Not Implemented", "<html><body>Not Implemented</body></html>\r\n") };
    if (request.path == "/cgi-bin/start")
        return LoginReply(request);
    if (request.path == "/cgi-bin/inbox")
        return InboxReply(request);
    const auto slash = request.path.rfind('/');
    if (request.path.substr(slash + 1) == "verInfo") {
        if (version_)
            return { HttpReply(200, "OK", *version_) };
        return { HttpReply(404, "Not Found", "<html><body><h1>Not Found</h1></body></html>\r\n") };
    }
    return { HttpReply(404, "Not Found", "<html><body><h1>Not Found</h1></body></html>\r\n") };
}

Reply Responder::LoginReply(const Request& request)
{
    for (std::size_t i = 0; i < accounts_.size(); ++i) {
        const Account& account = accounts_[i];
        if (request.query != LoginQuery(account.user, account.password))
            continue;
        if (account.redirect && !account.alwaysFails) {
            const std::string session = std::to_string(++nextSession_) + "x" + std::to_string(std::random_device {}());
            sessions_[session] = i;
            Reply reply { HttpReply(302, "Found", "<html><body>Moved</body></html>\r\n",
                              { "Set-Cookie: " + std::string(kSessionCookie) + "=" + session + "; path=/",
                                  "Location: /cgi-bin/inbox" }),
                account.fault, account.delayMs };
            return reply;
        }
        Reply reply = PageOf(account);
        return reply;
    }
    // An unknown user or a wrong password: the page says so, and its fault is that of the user.
    Reply reply { HttpReply(200, "OK", LoginFailedPage()) };
    for (const Account& account : accounts_) {
        if (request.query.rfind("login=" + PercentEncodeUnsafe(account.user) + "&passwd=", 0) == 0) {
            reply.fault = account.fault;
            reply.delayMs = account.delayMs;
            break;
        }
    }
    return reply;
}

Reply Responder::InboxReply(const Request& request)
{
    const auto it = sessions_.find(CookieValue(request.cookie, kSessionCookie));
    if (it == sessions_.end())
        return { HttpReply(200, "OK", LoginFailedPage()) };
    Reply reply = PageOf(accounts_[it->second]);
    reply.fault = Fault::None; // the account's fault applied to the login already
    reply.delayMs = 0;
    return reply;
}

Reply Responder::PageOf(const Account& account) const
{
    std::string body;
    if (account.alwaysFails)
        body = LoginFailedPage();
    else if (account.page)
        body = *account.page;
    else
        body = InboxPage(account.newMessages);
    return { HttpReply(200, "OK", body), account.fault, account.delayMs };
}

} // namespace mailservice
