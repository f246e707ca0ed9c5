#include "tests/support/WebServer.h"

#include "tests/support/LoopbackPorts.h"
#include "tests/support/ServerProcess.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <unistd.h>

namespace testing_support {
namespace {

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("WebServer: cannot write " + path);
}

} // namespace

std::string WebServer::PageContent()
{
    return "<html><head><title>Quorvel test page</title></head>\n<body><p>Hello from the test "
           "server.</p></body></html>\n";
}

std::string WebServer::VersionContent()
{
    return "0.2.4";
}

std::string WebServer::BigContent()
{
    // Every byte value, in an order that repeats only after a long stretch, so that a lost,
    // doubled or reordered chunk shows.
    std::string content(bigSize, '\0');
    std::uint32_t state = 12345;
    for (auto& c : content) {
        state = state * 1103515245U + 12345U;
        c = static_cast<char>(state >> 23);
    }
    return content;
}

WebServer::WebServer()
{
    Prepare();
}

void WebServer::Prepare()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-web-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("WebServer: mkdtemp failed");
    dir_ = pattern;
    root_ = dir_ + "/www";
    std::filesystem::create_directory(root_);
    WriteFile(root_ + "/index.html", PageContent());
    WriteFile(root_ + "/verInfo", VersionContent());
    WriteFile(root_ + "/big.bin", BigContent());
    for (int attempt = 0; attempt < 5 && !running(); ++attempt)
        Start();
}

WebServer::WebServer(const TlsIdentity& tls)
    : tls_(tls)
{
    Prepare();
}

WebServer::~WebServer()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string WebServer::url(const std::string& path) const
{
    return (tls_ ? "https://127.0.0.1:" : "http://127.0.0.1:") + std::to_string(port_) + path;
}

void WebServer::AddFile(const std::string& name, const std::string& content) const
{
    WriteFile(root_ + "/" + name, content);
}

std::string WebServer::errorLog() const
{
    std::ifstream in(dir_ + "/error.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool WebServer::Start()
{
    port_ = FreeLoopbackPort();
    const std::string config = dir_ + "/lighttpd.conf";
    WriteFile(config,
        "server.document-root = \"" + root_
            + "\"\n"
              "server.bind = \"127.0.0.1\"\n"
              "server.port = "
            + std::to_string(port_)
            + "\n"
              "server.errorlog = \""
            + dir_
            + "/error.log\"\n"
              "server.max-keep-alive-requests = 0\n"
              "index-file.names = ( \"index.html\" )\n"
              "mimetype.assign = ( \".html\" => \"text/html\", \"\" => \"application/octet-stream\" )\n"
            + (tls_ ? "server.modules += ( \"mod_openssl\" )\n"
                      "ssl.engine = \"enable\"\n"
                      "ssl.pemfile = \""
                        + tls_->certificateFile + "\"\nssl.privkey = \"" + tls_->keyFile + "\"\n"
                    : std::string()));
    pid_ = SpawnServer({ "lighttpd", "-D", "-f", config });
    return AwaitServer(
        pid_, [this] { return Accepts(port_); }, std::chrono::seconds(10));
}

void WebServer::Stop()
{
    StopServer(pid_, std::chrono::seconds(3));
}

} // namespace testing_support
