#include "platform/core/SecureChannel.h"

#include <algorithm>
#include <arpa/inet.h>
#include <climits>
#include <cstdlib>
#include <memory>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

namespace platform {
namespace {

struct ContextFree {
    void operator()(SSL_CTX* context) const { SSL_CTX_free(context); }
};

std::string environment(const char* name)
{
    const char* value = std::getenv(name);
    return value ? value : "";
}

// One client context for the process: loading the trust store is the expensive part of a
// handshake. It is made again when the variables that point at the store change.
SSL_CTX* clientContext()
{
    static std::unique_ptr<SSL_CTX, ContextFree> context;
    static std::string madeFor;
    const std::string store
        = environment(X509_get_default_cert_file_env()) + '\n' + environment(X509_get_default_cert_dir_env());
    if (context && store == madeFor)
        return context.get();
    std::unique_ptr<SSL_CTX, ContextFree> made(SSL_CTX_new(TLS_client_method()));
    if (!made)
        return nullptr;
    SSL_CTX_set_min_proto_version(made.get(), TLS1_2_VERSION);
    // Renegotiation would let the peer change keys and identity after the checks were made.
    SSL_CTX_set_options(made.get(), SSL_OP_NO_RENEGOTIATION | SSL_OP_NO_COMPRESSION);
    SSL_CTX_set_verify(made.get(), SSL_VERIFY_PEER, nullptr);
    // A missing store is not an error here: every certificate then fails as untrusted.
    SSL_CTX_set_default_verify_paths(made.get());
    ERR_clear_error();
    context = std::move(made);
    madeFor = store;
    return context.get();
}

bool isAddress(const std::string& name)
{
    unsigned char bytes[16];
    return ::inet_pton(AF_INET, name.c_str(), bytes) == 1 || ::inet_pton(AF_INET6, name.c_str(), bytes) == 1;
}

std::string libraryReason()
{
    const unsigned long code = ERR_peek_last_error();
    if (code == 0)
        return "unknown error";
    if (const char* reason = ERR_reason_error_string(code))
        return reason;
    char text[256];
    ERR_error_string_n(code, text, sizeof text);
    return text;
}

} // namespace

struct SecureChannel::Handles {
    SSL* ssl = nullptr;
    BIO* network = nullptr; // what the peer sent, read by the library
    BIO* output = nullptr; // what the library wrote for the peer
    ~Handles()
    {
        if (ssl)
            SSL_free(ssl); // frees both memory buffers with it
    }
};

SecureChannel::SecureChannel(const std::string& peerName)
    : handles_(std::make_unique<Handles>())
{
    std::string name = peerName;
    if (!name.empty() && name.back() == '.')
        name.pop_back();
    if (name.empty() || name.find('\0') != std::string::npos) {
        Fail(Failure::Handshake, "no server name to verify");
        return;
    }
    SSL_CTX* context = clientContext();
    SSL* ssl = context ? SSL_new(context) : nullptr;
    if (!ssl) {
        Fail(Failure::Handshake, libraryReason());
        return;
    }
    handles_->ssl = ssl;
    handles_->network = BIO_new(BIO_s_mem());
    handles_->output = BIO_new(BIO_s_mem());
    if (!handles_->network || !handles_->output) {
        BIO_free(handles_->network);
        BIO_free(handles_->output);
        handles_->network = handles_->output = nullptr;
        Fail(Failure::Handshake, libraryReason());
        return;
    }
    SSL_set_bio(ssl, handles_->network, handles_->output);
    bool named;
    if (isAddress(name)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str()) == 1;
    } else {
        // The name must be among the certificate's subject alternative names: a subject common
        // name alone names nothing (RFC 9525).
        SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS | X509_CHECK_FLAG_NEVER_CHECK_SUBJECT);
        named = SSL_set_tlsext_host_name(ssl, name.c_str()) == 1 && SSL_set1_host(ssl, name.c_str()) == 1;
    }
    if (!named) {
        Fail(Failure::Handshake, "cannot verify the server name " + name);
        return;
    }
    SSL_set_connect_state(ssl);
    Handshake();
}

SecureChannel::~SecureChannel() = default;

void SecureChannel::Fail(Failure failure, std::string detail)
{
    state_ = State::Failed;
    failure_ = failure;
    detail_ = std::move(detail);
}

void SecureChannel::FailFromLibrary(int result)
{
    SSL* ssl = handles_->ssl;
    const long verified = SSL_get_verify_result(ssl);
    if (verified != X509_V_OK) {
        const bool name = verified == X509_V_ERR_HOSTNAME_MISMATCH || verified == X509_V_ERR_IP_ADDRESS_MISMATCH;
        Fail(name ? Failure::NameMismatch : Failure::Untrusted, X509_verify_cert_error_string(verified));
    } else if (SSL_get_error(ssl, result) == SSL_ERROR_ZERO_RETURN) {
        Fail(Failure::Handshake, "the server closed the connection");
    } else {
        Fail(state_ == State::Handshaking ? Failure::Handshake : Failure::Protocol, libraryReason());
    }
    ERR_clear_error();
}

void SecureChannel::Handshake()
{
    SSL* ssl = handles_->ssl;
    ERR_clear_error();
    const int result = SSL_do_handshake(ssl);
    if (result == 1) {
        // The library checked both already; a peer without a certificate must not pass either.
        if (SSL_get_verify_result(ssl) != X509_V_OK || !SSL_get0_peer_certificate(ssl)) {
            Fail(Failure::Untrusted, "no verified certificate");
            return;
        }
        state_ = State::Established;
        return;
    }
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
        return;
    FailFromLibrary(result);
}

void SecureChannel::Receive(std::string_view network, std::string& plain)
{
    if (state_ == State::Failed)
        return;
    while (!network.empty()) {
        const int n = BIO_write(
            handles_->network, network.data(), static_cast<int>(std::min<std::size_t>(network.size(), INT_MAX)));
        if (n <= 0) {
            Fail(Failure::Protocol, "out of memory");
            return;
        }
        network.remove_prefix(static_cast<std::size_t>(n));
    }
    if (state_ == State::Handshaking)
        Handshake();
    // Records that came with the end of the handshake are read at once: nobody else will ask.
    if (state_ == State::Established)
        ReadPlain(plain);
}

void SecureChannel::ReadPlain(std::string& plain)
{
    constexpr std::size_t kRecord = 16384;
    SSL* ssl = handles_->ssl;
    for (;;) {
        const std::size_t had = plain.size();
        plain.resize(had + kRecord);
        ERR_clear_error();
        const int n = SSL_read(ssl, plain.data() + had, static_cast<int>(kRecord));
        plain.resize(had + static_cast<std::size_t>(n > 0 ? n : 0));
        if (n > 0)
            continue;
        const int error = SSL_get_error(ssl, n);
        if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE)
            return;
        if (error == SSL_ERROR_ZERO_RETURN) {
            peerClosed_ = true;
            return;
        }
        FailFromLibrary(n);
        return;
    }
}

bool SecureChannel::Send(std::string_view plain)
{
    if (state_ != State::Established)
        return false;
    while (!plain.empty()) {
        ERR_clear_error();
        const int n
            = SSL_write(handles_->ssl, plain.data(), static_cast<int>(std::min<std::size_t>(plain.size(), INT_MAX)));
        if (n <= 0) {
            FailFromLibrary(n);
            return false;
        }
        plain.remove_prefix(static_cast<std::size_t>(n));
    }
    return true;
}

void SecureChannel::Close()
{
    if (state_ != State::Established)
        return;
    ERR_clear_error();
    SSL_shutdown(handles_->ssl);
    ERR_clear_error();
}

void SecureChannel::TakeOutput(std::string& network)
{
    BIO* output = handles_->output;
    if (!output)
        return;
    const std::size_t pending = BIO_ctrl_pending(output);
    if (pending == 0)
        return;
    const std::size_t had = network.size();
    network.resize(had + pending);
    const int n = BIO_read(output, network.data() + had, static_cast<int>(std::min<std::size_t>(pending, INT_MAX)));
    network.resize(had + static_cast<std::size_t>(n > 0 ? n : 0));
}

} // namespace platform
