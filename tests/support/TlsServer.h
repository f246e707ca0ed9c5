// A TLS server on 127.0.0.1 for tests and benchmarks: OpenSSL on a thread of its own, playing a
// script on each connection it accepts. The script decides when the handshake runs, so a plain
// exchange may come first (STARTTLS); every blocking step gives up after a patience.
#pragma once

#include "tests/support/TestCertificates.h"

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <thread>

typedef struct ssl_st SSL;
typedef struct ssl_ctx_st SSL_CTX;

namespace testing_support {

// The server's side of one accepted connection; used on the server's thread only.
class TlsPeer {
public:
    TlsPeer(int fd, SSL_CTX* context);
    ~TlsPeer();
    TlsPeer(const TlsPeer&) = delete;
    TlsPeer& operator=(const TlsPeer&) = delete;

    // Before the handshake: plain bytes, each call one send.
    void SendClear(const std::string& bytes);
    std::string ReadClearLine();
    // The server's side of the handshake; false when it failed (the client refused, for example).
    bool Handshake();
    // One record per call for up to 16 KiB.
    void Write(const std::string& plain);
    std::string ReadLine();
    // Reads `count` bytes, fewer when the client closes first.
    std::string Read(std::size_t count);
    // Reads until the client closes; what came over TLS.
    std::string ReadUntilClose();
    // After ReadUntilClose: the client ended with its closing alert, not just a close.
    bool ClosedWithAlert() const { return closedWithAlert_; }
    // The server name the client sent in its hello; empty when it sent none.
    std::string ServerName() const;
    // Sends the closing alert, then closes.
    void CloseNotify();
    // Sends the closing alert and keeps the connection open, as servers do that wait for the answer.
    void SendCloseNotify();
    // Closes without a closing alert.
    void Cut();
    // Plain bytes received over TLS so far.
    std::size_t ApplicationBytes() const { return applicationBytes_; }
    int fd() const { return fd_; }

private:
    int fd_;
    SSL* ssl_ = nullptr;
    std::size_t applicationBytes_ = 0;
    bool closedWithAlert_ = false;
};

class TlsServer {
public:
    using Script = std::function<void(TlsPeer&)>;
    struct Options {
        // 0: the library's limits; else e.g. TLS1_VERSION for a server stuck in the past.
        int minVersion = 0;
        int maxVersion = 0;
        // Connections to accept, one after the other.
        int connections = 1;
    };

    TlsServer(const TlsIdentity& identity, Script script);
    TlsServer(const TlsIdentity& identity, Script script, Options options);
    ~TlsServer();
    TlsServer(const TlsServer&) = delete;
    TlsServer& operator=(const TlsServer&) = delete;

    std::uint16_t port() const { return port_; }
    // Waits until every connection has played out; results may be read afterwards.
    void finish();
    // Set by the server's thread: what went wrong in a script; read after finish().
    std::string failure;
    // Set by the server's thread: plain bytes received over TLS on all connections.
    std::size_t applicationBytes = 0;

private:
    void run(Script script, int connections);

    SSL_CTX* context_ = nullptr;
    int listener_ = -1;
    std::uint16_t port_ = 0;
    std::thread thread_;
};

} // namespace testing_support
