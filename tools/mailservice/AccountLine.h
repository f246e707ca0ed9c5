// The accounts the stand-in mail service knows, and how they are written in files and arguments.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace mailservice {

// What the service does with a request before or instead of answering it.
enum class Fault {
    None,
    Stall, // read the request, answer only after SIGUSR1 (or never)
    Slow, // answer in small pieces with pauses between them
    Reset, // read the request, then abort the connection
    Garbage, // answer bytes that are not HTTP, then close
    Close, // read the request, then close without a byte
};

struct Account {
    std::string user;
    std::string password;
    int newMessages = 0;
    bool alwaysFails = false; // the login page says the login failed, whatever was sent
    std::optional<std::string> page; // a whole page of its own instead of the standard one
    bool redirect = false; // the login answers 302 with a session cookie first
    Fault fault = Fault::None;
    int delayMs = 0; // a pause before answering
};

// "\t", "\r", "\n", "\\" and "\xHH" in account fields; anything else is kept as written.
std::string Unescape(const std::string& text);
// Control bytes, blank-free escapes of the above, for the request log.
std::string Escape(const std::string& bytes);

std::optional<Fault> ParseFault(const std::string& name);

// One account from the fields user, password, what and options; `error` says why when it fails.
// `what` is a number of new messages, "fail", or "page=TEXT". Options: "redirect",
// "fault=MODE", "delay=MS".
std::optional<Account> ParseAccount(const std::vector<std::string>& fields, std::string& error);

// A file of accounts: one a line, fields separated by tabs; blank lines and "#" lines skipped.
bool ReadAccountFile(const std::string& path, std::vector<Account>& accounts, std::string& error);

// "user:password:what[:option...]" from the command line.
std::optional<Account> ParseAccountArgument(const std::string& argument, std::string& error);

} // namespace mailservice
