// Loopback peers of the sign-in tests: a browser that makes one plain request, and a token
// endpoint over TLS that answers one form per connection.
#pragma once

#include "signin/FormEncoding.h"
#include "tests/fixtures/TestCertificates.h"
#include "tests/fixtures/TlsServer.h"

#include <arpa/inet.h>
#include <functional>
#include <map>
#include <memory>
#include <netinet/in.h>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace signin_tests {

// One request to address:port, the whole reply back (empty when the connection failed).
inline std::string PlainRequest(std::uint16_t port, const std::string& request, const char* address = "127.0.0.1")
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_port = htons(port);
    ::inet_pton(AF_INET, address, &a.sin_addr);
    std::string reply;
    if (::connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) {
        ::send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        char buffer[4096];
        timeval patience { 10, 0 };
        ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &patience, sizeof patience);
        for (ssize_t n; (n = ::recv(fd, buffer, sizeof buffer, 0)) > 0;)
            reply.append(buffer, static_cast<std::size_t>(n));
    }
    ::close(fd);
    return reply;
}

inline std::string RedirectGet(const std::string& query)
{
    return "GET /?" + query + " HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n";
}

// The query fields of an address.
inline std::multimap<std::string, std::string> QueryOf(const std::string& address)
{
    const auto q = address.find('?');
    return q == std::string::npos ? std::multimap<std::string, std::string>()
                                  : *signin::FormDecode(address.substr(q + 1));
}

// A token endpoint: each connection reads one POST and answers with what `answer` makes of its
// form fields.
class TokenEndpoint {
public:
    using Answer = std::function<std::string(const std::multimap<std::string, std::string>& form)>;
    TokenEndpoint(int connections, Answer answer)
        : server_(testing_support::TestCertificates::Shared().localhost,
            [this, answer](testing_support::TlsPeer& p) {
                if (!p.Handshake())
                    throw std::runtime_error("token endpoint handshake failed");
                std::size_t length = 0;
                for (std::string line; (line = p.ReadLine()) != "\r\n" && !line.empty();) {
                    if (line.rfind("Content-Length: ", 0) == 0)
                        length = std::stoul(line.substr(16));
                    if (line.rfind("POST ", 0) == 0)
                        requestLines.push_back(line);
                }
                const std::string body = p.Read(length);
                forms.push_back(*signin::FormDecode(body));
                p.Write(answer(forms.back()));
                p.CloseNotify();
            },
            { .connections = connections })
    { }
    std::string url() const { return "https://127.0.0.1:" + std::to_string(server_.port()) + "/token"; }
    void finish() { server_.finish(); }
    const std::string& failure() const { return server_.failure; }
    // Read after finish().
    std::vector<std::multimap<std::string, std::string>> forms;
    std::vector<std::string> requestLines;

private:
    testing_support::TlsServer server_;
};

inline std::string JsonReply(int status, const std::string& json)
{
    return "HTTP/1.0 " + std::to_string(status) + (status == 200 ? " OK" : " Bad Request")
        + "\r\nContent-Type: application/json\r\nContent-Length: " + std::to_string(json.size()) + "\r\n\r\n" + json;
}

inline std::string Field(const std::multimap<std::string, std::string>& form, const std::string& name)
{
    const auto it = form.find(name);
    return it == form.end() ? std::string("<none>") : it->second;
}

} // namespace signin_tests
