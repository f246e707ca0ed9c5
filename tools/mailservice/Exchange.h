// What the stand-in mail service answers: request parsing and reply building, without sockets.
#pragma once

#include "AccountLine.h"

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace mailservice {

struct Request {
    std::string line; // the request line as received, without its line end
    std::string method;
    std::string path; // origin form: "/cgi-bin/start"
    std::string query; // after "?", raw
    bool absoluteForm = false;
    std::string host; // the Host header
    std::string cookie; // the Cookie header
};

// The request head (everything before the empty line); nullopt when the request line is unusable.
std::optional<Request> ParseRequestHead(const std::string& head);

// The query a login of this user and password arrives with: the two texts as written, with the
// bytes that cannot travel in a request line (controls, blank, DEL) percent-encoded.
std::string LoginQuery(const std::string& user, const std::string& password);

struct Reply {
    std::string bytes;
    Fault fault = Fault::None;
    int delayMs = 0;
};

std::string HttpReply(
    int status, const std::string& reason, const std::string& body, const std::vector<std::string>& extraHeaders = {});
std::string InboxPage(int newMessages);
std::string LoginFailedPage();

class Responder {
public:
    Responder(std::vector<Account> accounts, std::optional<std::string> version);

    // Every request gets a reply; the account's fault mode comes along with it.
    Reply Answer(const Request& request);

private:
    Reply LoginReply(const Request& request);
    Reply InboxReply(const Request& request);
    Reply PageOf(const Account& account) const;

    std::vector<Account> accounts_;
    std::optional<std::string> version_;
    std::map<std::string, std::size_t> sessions_; // cookie value -> account index
    unsigned nextSession_ = 0;
};

} // namespace mailservice
