// The stand-in mail service's network side: one loopback listener, many connections, one thread.
#pragma once

#include "Exchange.h"

#include <chrono>
#include <cstdio>
#include <deque>
#include <memory>
#include <string>

namespace mailservice {

struct Options {
    std::string bindAddress = "127.0.0.1";
    int port = 0;
    Fault fault = Fault::None; // applied to every request on top of the accounts' own
    int delayMs = 0;
    std::string logPath;
};

class MailService {
public:
    MailService(Options options, Responder responder);
    ~MailService();
    MailService(const MailService&) = delete;
    MailService& operator=(const MailService&) = delete;

    // Binds and listens; false with `error` set when that is not possible.
    bool Listen(std::string& error);
    int Port() const { return port_; }

    // Serves until SIGTERM or SIGINT; SIGUSR1 lets stalled requests be answered.
    void Run();

private:
    using Clock = std::chrono::steady_clock;
    struct Connection;

    void Accept();
    void OnReadable(Connection& c);
    void OnWritable(Connection& c);
    void StartReply(Connection& c, Reply reply);
    void Log(const std::string& line);
    void ReleaseStalls();

    Options options_;
    Responder responder_;
    int listener_ = -1;
    int port_ = 0;
    std::deque<std::unique_ptr<Connection>> connections_;
    std::FILE* log_ = nullptr;
};

} // namespace mailservice
