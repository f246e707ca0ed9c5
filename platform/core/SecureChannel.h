// The system's TLS client as an object fed with bytes: network bytes in, plain bytes out, and the
// reverse. It never touches a socket; its owner carries the bytes both ways.
#pragma once

#include <memory>
#include <string>
#include <string_view>

namespace platform {

class SecureChannel {
public:
    enum class State { Handshaking, Established, Failed };
    // Why the channel failed; Detail() says more in the TLS library's words.
    enum class Failure { None, Untrusted, NameMismatch, Handshake, Protocol };

    // A client that verifies the peer's chain against the system trust store (SSL_CERT_FILE and
    // SSL_CERT_DIR point elsewhere) and `peerName` against its certificate: as an IP address when
    // it is one, else as a host name, which is also sent as the server name. TLS 1.2 at least.
    // The first handshake bytes wait in the output at once.
    explicit SecureChannel(const std::string& peerName);
    ~SecureChannel();
    SecureChannel(const SecureChannel&) = delete;
    SecureChannel& operator=(const SecureChannel&) = delete;

    // Takes bytes received from the network; the plain bytes they complete are appended to `plain`.
    void Receive(std::string_view network, std::string& plain);
    // Turns plain bytes into records; false (and nothing queued) unless the channel is established.
    bool Send(std::string_view plain);
    // Queues the closing alert.
    void Close();
    // Moves the bytes waiting for the network (handshake, records, alerts) to the end of `network`.
    void TakeOutput(std::string& network);

    State state() const { return state_; }
    bool Established() const { return state_ == State::Established; }
    // The peer sent its closing alert: no more plain bytes will come.
    bool PeerClosed() const { return peerClosed_; }
    Failure failure() const { return failure_; }
    const std::string& Detail() const { return detail_; }

private:
    struct Handles;

    void Fail(Failure failure, std::string detail);
    void FailFromLibrary(int result);
    void Handshake();
    void ReadPlain(std::string& plain);

    std::unique_ptr<Handles> handles_;
    State state_ = State::Handshaking;
    Failure failure_ = Failure::None;
    std::string detail_;
    bool peerClosed_ = false;
};

} // namespace platform
