// A real web server for tests and benchmarks: lighttpd on a free 127.0.0.1 port with its own
// temporary configuration and document root; stopped (and killed if need be) when destroyed.
#pragma once

#include "tests/support/TestCertificates.h"

#include <cstdint>
#include <optional>
#include <string>
#include <sys/types.h>

namespace testing_support {

class WebServer {
public:
    // Files in the document root: index.html (a small page), verInfo, big.bin (bigSize bytes).
    static constexpr std::size_t bigSize = 5 * 1024 * 1024 + 123;

    WebServer();
    // Serves HTTPS with this certificate and key instead of HTTP.
    explicit WebServer(const TlsIdentity& tls);
    ~WebServer();
    WebServer(const WebServer&) = delete;
    WebServer& operator=(const WebServer&) = delete;

    bool running() const { return pid_ > 0; }
    std::uint16_t port() const { return port_; }
    std::string url(const std::string& path = "/") const;
    const std::string& documentRoot() const { return root_; }
    // Writes a file into the document root (name relative to it).
    void AddFile(const std::string& name, const std::string& content) const;
    // The content big.bin is made of, so that a test can compare what it fetched.
    static std::string BigContent();
    static std::string PageContent();
    static std::string VersionContent();
    std::string errorLog() const;

private:
    void Prepare();
    bool Start();
    void Stop();

    std::optional<TlsIdentity> tls_;
    std::string dir_;
    std::string root_;
    std::uint16_t port_ = 0;
    pid_t pid_ = -1;
};

} // namespace testing_support
