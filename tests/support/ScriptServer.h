// A scriptable TCP server on 127.0.0.1 for exact-bytes tests: each accepted connection plays the
// next script (send, send in fragments, wait for request bytes, pause, stall, close, reset) and
// records every byte it receives.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace testing_support {

class ScriptServer {
public:
    struct Step {
        enum class Kind { Send, Receive, Pause, Sleep, Stall, Close, Reset };
        Kind kind;
        std::string data; // Send: the bytes; Receive: the text to wait for (empty: wait for `count` bytes)
        std::size_t count = 0; // Send: fragment size (0 = all at once); Receive: bytes to wait for
        int milliseconds = 0; // Send: pause between fragments; Pause: its length
    };
    using Script = std::vector<Step>;

    // Script steps.
    static Step Send(std::string bytes);
    static Step SendFragments(std::string bytes, std::size_t fragment, int pauseMs);
    // Waits until the bytes received so far contain `text` (for example the blank line of a request).
    static Step ReceiveUntil(std::string text);
    static Step ReceiveRequest() { return ReceiveUntil("\r\n\r\n"); }
    // Waits until at least `count` bytes have been received in total on this connection.
    static Step ReceiveBytes(std::size_t count);
    static Step Pause(int ms);
    // Like Pause, but reads nothing meanwhile: the client's sends back up.
    static Step Sleep(int ms);
    // Keeps the connection open and silent until the client closes it or the server stops.
    static Step Stall();
    // Graceful close: no more sending, then the rest of what the client sends is recorded until it closes.
    static Step Close();
    // Abortive close: the client sees a reset.
    static Step Reset();

    ScriptServer();
    ~ScriptServer();
    ScriptServer(const ScriptServer&) = delete;
    ScriptServer& operator=(const ScriptServer&) = delete;

    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path = "/") const;

    // Queues the script of the next connection; connections without a script are closed at once.
    void AddConnection(Script script);

    std::size_t ConnectionCount() const;
    // Everything received on connection `index` (0-based, in order of acceptance) so far.
    std::string Received(std::size_t index) const;
    // Waits until connection `index` exists and has been closed by either side.
    bool WaitForClosed(std::size_t index, std::chrono::milliseconds limit = std::chrono::seconds(10)) const;
    bool Finished(std::size_t index) const;

private:
    struct Connection {
        int fd = -1;
        std::string received;
        bool finished = false;
        std::thread worker;
    };

    void AcceptLoop();
    void Play(std::size_t index, Script script);
    bool ReadSome(Connection& c, int timeoutMs);
    bool SendAll(Connection& c, const char* data, std::size_t size);

    int listenFd_ = -1;
    std::uint16_t port_ = 0;
    std::atomic<bool> stopping_ { false };
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::deque<Script> scripts_;
    std::vector<std::unique_ptr<Connection>> connections_;
    std::thread acceptor_;
};

} // namespace testing_support
