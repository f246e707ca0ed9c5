#include "tests/support/AuthServer.h"

#include "tests/support/LoopbackPorts.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestCertificates.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace testing_support {

AuthServer::AuthServer()
    : AuthServer(Options {})
{ }

AuthServer::AuthServer(Options options)
    : options_(std::move(options))
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-auth-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("AuthServer: mkdtemp failed");
    dir_ = pattern;
    if (!std::filesystem::exists(QUORVEL_TOOLS_DIR "/authserver/node_modules/oidc-provider"))
        throw std::runtime_error("the authorization server's npm packages are missing: run scripts/setup-test-servers");
    for (int attempt = 0; attempt < 3 && !running(); ++attempt)
        Start();
    if (!running())
        throw std::runtime_error("the authorization server did not start");
}

AuthServer::~AuthServer()
{
    StopServer(pid_, std::chrono::seconds(5));
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

bool AuthServer::Start()
{
    const std::vector<std::uint16_t> ports = FreeLoopbackPorts(2);
    port_ = ports[0];
    introspectPort_ = ports[1];
    const TlsIdentity& identity = TestCertificates::Shared().localhost;
    std::vector<std::string> argv
        = { "node", QUORVEL_TOOLS_DIR "/authserver/authserver.mjs", "--cert", identity.certificateFile, "--key",
              identity.keyFile, "--port", std::to_string(port_), "--introspect-port", std::to_string(introspectPort_),
              "--client", options_.clientId, "--resource", std::string(kResourceUser) + ":" + kResourcePassword,
              "--access-lifetime", std::to_string(options_.accessLifetime), "--log", dir_ + "/requests.log" };
    pid_ = SpawnServer(argv);
    return AwaitServer(
        pid_, [this] { return Accepts(port_) && Accepts(introspectPort_); }, std::chrono::seconds(15));
}

std::string AuthServer::url(const std::string& path) const
{
    return "https://127.0.0.1:" + std::to_string(port_) + path;
}

std::string AuthServer::introspectionUrl() const
{
    return std::string("http://") + kResourceUser + ":" + kResourcePassword
        + "@127.0.0.1:" + std::to_string(introspectPort_) + "/introspect";
}

std::string AuthServer::log() const
{
    std::ifstream in(dir_ + "/requests.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

bool AuthServer::Revoke(const std::string& token) const
{
    const std::string command = "curl -s -f -o /dev/null --cacert '" + TestCertificates::Shared().authorityFile
        + "' --data-urlencode 'client_id=" + options_.clientId + "' --data-urlencode 'token=" + token + "' '"
        + url("/revoke") + "'";
    return std::system(command.c_str()) == 0;
}

std::string AuthServer::UserAgentScript()
{
    return QUORVEL_TOOLS_DIR "/authserver/useragent";
}

} // namespace testing_support
