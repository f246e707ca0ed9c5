#include "tests/support/TlsServer.h"

#include <algorithm>
#include <arpa/inet.h>
#include <cerrno>
#include <memory>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

namespace testing_support {
namespace {

// Every blocking step gives up after this long, so a broken test fails instead of hanging.
constexpr int kPatienceMs = 10000;

void setPatience(int fd)
{
    // Small records go out at once, as from a real server, instead of waiting for an ACK.
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    timeval t { kPatienceMs / 1000, 0 };
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t);
    ::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t);
}

// Ends the sending side, then reads what the client still sends until it closes, so that the
// close never turns into a reset that could cost the client bytes it has not read yet.
void closeGently(int fd)
{
    ::shutdown(fd, SHUT_WR);
    char buffer[4096];
    while (::recv(fd, buffer, sizeof buffer, 0) > 0) { }
    ::close(fd);
}

} // namespace

TlsPeer::TlsPeer(int fd, SSL_CTX* context)
    : fd_(fd)
{
    ssl_ = SSL_new(context);
    if (!ssl_ || SSL_set_fd(ssl_, fd_) != 1)
        throw std::runtime_error("TlsPeer: SSL_new failed");
}

TlsPeer::~TlsPeer()
{
    SSL_free(ssl_);
    if (fd_ >= 0)
        ::close(fd_);
}

void TlsPeer::SendClear(const std::string& bytes)
{
    if (::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("TlsPeer: clear send failed");
}

std::string TlsPeer::ReadClearLine()
{
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
        if (::recv(fd_, &c, 1, 0) != 1)
            throw std::runtime_error("TlsPeer: clear line cut: " + line);
        line += c;
    }
    return line;
}

bool TlsPeer::Handshake()
{
    ERR_clear_error();
    const bool ok = SSL_accept(ssl_) == 1;
    ERR_clear_error();
    return ok;
}

void TlsPeer::Write(const std::string& plain)
{
    if (plain.empty())
        return;
    if (SSL_write(ssl_, plain.data(), static_cast<int>(plain.size())) != static_cast<int>(plain.size()))
        throw std::runtime_error("TlsPeer: write failed");
}

std::string TlsPeer::ReadLine()
{
    std::string line;
    char c;
    while (line.empty() || line.back() != '\n') {
        if (SSL_read(ssl_, &c, 1) != 1)
            throw std::runtime_error("TlsPeer: line cut: " + line);
        ++applicationBytes_;
        line += c;
    }
    return line;
}

std::string TlsPeer::Read(std::size_t count)
{
    std::string out;
    char buffer[16384];
    while (out.size() < count) {
        const int n = SSL_read(ssl_, buffer, static_cast<int>(std::min(sizeof buffer, count - out.size())));
        if (n <= 0)
            break;
        applicationBytes_ += static_cast<std::size_t>(n);
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string TlsPeer::ReadUntilClose()
{
    std::string out;
    char buffer[16384];
    for (;;) {
        const int n = SSL_read(ssl_, buffer, sizeof buffer);
        if (n <= 0) {
            closedWithAlert_ = SSL_get_error(ssl_, n) == SSL_ERROR_ZERO_RETURN;
            ERR_clear_error();
            break;
        }
        applicationBytes_ += static_cast<std::size_t>(n);
        out.append(buffer, static_cast<std::size_t>(n));
    }
    return out;
}

std::string TlsPeer::ServerName() const
{
    const char* name = SSL_get_servername(ssl_, TLSEXT_NAMETYPE_host_name);
    return name ? name : "";
}

void TlsPeer::CloseNotify()
{
    SSL_shutdown(ssl_);
    closeGently(fd_);
    fd_ = -1;
}

void TlsPeer::SendCloseNotify()
{
    SSL_shutdown(ssl_);
}

void TlsPeer::Cut()
{
    closeGently(fd_);
    fd_ = -1;
}

TlsServer::TlsServer(const TlsIdentity& identity, Script script)
    : TlsServer(identity, std::move(script), Options {})
{ }

TlsServer::TlsServer(const TlsIdentity& identity, Script script, Options options)
{
    context_ = SSL_CTX_new(TLS_server_method());
    if (!context_ || SSL_CTX_use_certificate_chain_file(context_, identity.certificateFile.c_str()) != 1
        || SSL_CTX_use_PrivateKey_file(context_, identity.keyFile.c_str(), SSL_FILETYPE_PEM) != 1)
        throw std::runtime_error("TlsServer: cannot load " + identity.certificateFile);
    if (options.maxVersion != 0 && options.maxVersion < TLS1_2_VERSION) {
        // Old protocols are below every security level but 0.
        SSL_CTX_set_security_level(context_, 0);
        SSL_CTX_set_cipher_list(context_, "DEFAULT:@SECLEVEL=0");
    }
    if (options.minVersion != 0)
        SSL_CTX_set_min_proto_version(context_, options.minVersion);
    if (options.maxVersion != 0)
        SSL_CTX_set_max_proto_version(context_, options.maxVersion);

    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a {};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0
        || ::listen(listener_, 16) != 0)
        throw std::runtime_error("TlsServer: cannot listen");
    socklen_t length = sizeof a;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&a), &length);
    port_ = ntohs(a.sin_port);
    thread_ = std::thread([this, script = std::move(script), n = options.connections] { run(script, n); });
}

TlsServer::~TlsServer()
{
    if (thread_.joinable()) {
        ::shutdown(listener_, SHUT_RDWR);
        thread_.join();
    }
    ::close(listener_);
    SSL_CTX_free(context_);
}

void TlsServer::finish()
{
    if (thread_.joinable())
        thread_.join();
}

void TlsServer::run(Script script, int connections)
{
    for (int i = 0; i < connections; ++i) {
        pollfd p { listener_, POLLIN, 0 };
        if (::poll(&p, 1, kPatienceMs) <= 0 || !(p.revents & POLLIN))
            return;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0)
            return;
        setPatience(fd);
        std::unique_ptr<TlsPeer> peer;
        try {
            peer = std::make_unique<TlsPeer>(fd, context_);
            script(*peer);
        } catch (const std::exception& e) {
            if (failure.empty())
                failure = e.what();
        }
        if (peer)
            applicationBytes += peer->ApplicationBytes();
        else
            ::close(fd);
    }
}

} // namespace testing_support
