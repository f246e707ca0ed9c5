#include "tests/support/Dovecot.h"

#include "tests/support/LoopbackPorts.h"
#include "tests/support/ServerProcess.h"
#include "tests/support/TestCertificates.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace testing_support {
namespace {

void WriteFile(const std::string& path, const std::string& content)
{
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(content.data(), static_cast<std::streamsize>(content.size()));
    if (!out)
        throw std::runtime_error("Dovecot: cannot write " + path);
}

std::string Base64(const std::string& bytes)
{
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
    std::string out;
    std::size_t i = 0;
    for (; i + 2 < bytes.size(); i += 3) {
        const unsigned v = (unsigned(std::uint8_t(bytes[i])) << 16) | (unsigned(std::uint8_t(bytes[i + 1])) << 8)
            | std::uint8_t(bytes[i + 2]);
        out += { alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], alphabet[v & 63] };
    }
    if (bytes.size() - i == 1) {
        const unsigned v = unsigned(std::uint8_t(bytes[i])) << 16;
        out += { alphabet[v >> 18], alphabet[(v >> 12) & 63], '=', '=' };
    } else if (bytes.size() - i == 2) {
        const unsigned v = (unsigned(std::uint8_t(bytes[i])) << 16) | (unsigned(std::uint8_t(bytes[i + 1])) << 8);
        out += { alphabet[v >> 18], alphabet[(v >> 12) & 63], alphabet[(v >> 6) & 63], '=' };
    }
    return out;
}

} // namespace

Dovecot::Dovecot(std::string extraConfig)
    : Dovecot(Options {}, std::move(extraConfig))
{ }

Dovecot::Dovecot(Options options, std::string extraConfig)
    : options_(std::move(options))
    , extraConfig_(std::move(extraConfig))
    , identity_(TestCertificates::Shared().localhost)
{
    std::string pattern = (std::filesystem::temp_directory_path() / "quorvel-dovecot-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("Dovecot: mkdtemp failed");
    dir_ = pattern;
    // Run as root, Dovecot reads the mail as an unprivileged user, who must reach the folder.
    ::chmod(dir_.c_str(), 0755);
    if (::geteuid() == 0) {
        const passwd* nobody = ::getpwnam("nobody");
        mailUid_ = nobody ? nobody->pw_uid : 65534;
        mailGid_ = nobody ? nobody->pw_gid : 65534;
    } else {
        mailUid_ = ::getuid();
        mailGid_ = ::getgid();
    }
    std::filesystem::create_directories(dir_ + "/mail");
    std::filesystem::create_directories(dir_ + "/run");
    std::filesystem::create_directories(dir_ + "/state");
    WriteFile(dir_ + "/passwd", "");
    for (int attempt = 0; attempt < 5 && !running(); ++attempt) {
        // A first start that failed may have lost a port to another program: pick new ones.
        imap_ = 0;
        Start();
    }
    if (!running())
        throw std::runtime_error("Dovecot did not start: " + log());
}

Dovecot::~Dovecot()
{
    Stop();
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
}

std::string Dovecot::log() const
{
    std::ifstream in(dir_ + "/dovecot.log");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void Dovecot::FillMaildir(const std::string& path, int unseen, int seen)
{
    for (const char* sub : { "cur", "new", "tmp" })
        std::filesystem::create_directories(path + "/" + sub);
    for (int i = 0; i < unseen + seen; ++i) {
        const int n = ++messages_;
        const std::string name = std::to_string(1700000000 + n) + ".M" + std::to_string(n) + "P1.quorvel";
        const std::string file = i < unseen ? path + "/new/" + name : path + "/cur/" + name + ":2,S";
        WriteFile(file,
            "From: sender@example.org\r\nTo: user@example.org\r\nSubject: message " + std::to_string(n)
                + "\r\nDate: Tue, 1 Dec 2026 10:00:00 +0000\r\n\r\nBody " + std::to_string(n) + "\r\n");
    }
    for (const auto& entry : std::filesystem::recursive_directory_iterator(path))
        ::chown(entry.path().c_str(), mailUid_, mailGid_);
    ::chown(path.c_str(), mailUid_, mailGid_);
}

int Dovecot::CountInLog(const std::string& text) const
{
    const std::string all = log();
    int count = 0;
    for (std::size_t at = all.find(text); at != std::string::npos; at = all.find(text, at + text.size()))
        ++count;
    return count;
}

std::string Dovecot::Home(const std::string& user) const
{
    return dir_ + "/mail/" + std::to_string(std::hash<std::string> {}(user));
}

void Dovecot::Deliver(const std::string& user)
{
    const int n = ++messages_;
    const std::string name = std::to_string(1700000000 + n) + ".M" + std::to_string(n) + "P2.quorvel";
    const std::string temporary = Home(user) + "/tmp/" + name;
    WriteFile(temporary,
        "From: sender@example.org\r\nTo: user@example.org\r\nSubject: delivered " + std::to_string(n)
            + "\r\nDate: Tue, 1 Dec 2026 10:00:00 +0000\r\n\r\nBody " + std::to_string(n) + "\r\n");
    ::chown(temporary.c_str(), mailUid_, mailGid_);
    std::filesystem::rename(temporary, Home(user) + "/new/" + name);
}

bool Dovecot::Expunge(const std::string& user)
{
    for (const char* sub : { "/new", "/cur" })
        for (const auto& entry : std::filesystem::directory_iterator(Home(user) + sub))
            if (entry.is_regular_file())
                return std::filesystem::remove(entry.path());
    return false;
}

void Dovecot::SetPassword(const std::string& user, const std::string& password)
{
    std::ifstream in(dir_ + "/passwd");
    std::string text;
    for (std::string line; std::getline(in, line);) {
        if (line.rfind(user + ":", 0) == 0) {
            const std::size_t uid = line.find(':', user.size() + 1);
            line = user + ":{PLAIN.b64}" + Base64(password) + line.substr(uid);
        }
        text += line + "\n";
    }
    in.close();
    WriteFile(dir_ + "/passwd", text);
}

bool Dovecot::Restart()
{
    Stop();
    for (int attempt = 0; attempt < 5 && !running(); ++attempt)
        Start();
    return running();
}

void Dovecot::AddUser(const std::string& user, const std::string& password, int unseen, int seen)
{
    const std::string home = Home(user);
    FillMaildir(home, unseen, seen);
    std::ofstream out(dir_ + "/passwd", std::ios::app);
    out << user << ":{PLAIN.b64}" << Base64(password) << ":" << mailUid_ << ":" << mailGid_ << "::" << home << "::\n";
}

void Dovecot::AddMailbox(const std::string& user, const std::string& wireName, int unseen, int seen)
{
    FillMaildir(Home(user) + "/." + wireName, unseen, seen);
}

bool Dovecot::Start()
{
    // A restart keeps the ports, so that clients come back to the same addresses.
    if (imap_ == 0) {
        const std::vector<std::uint16_t> ports = FreeLoopbackPorts(4);
        imap_ = ports[0];
        imaps_ = ports[1];
        pop3_ = ports[2];
        pop3s_ = ports[3];
    }
    std::string identity;
    if (::geteuid() != 0) {
        // Not root: every service runs as this user, and nothing can be chrooted.
        const passwd* me = ::getpwuid(::getuid());
        const std::string name = me ? me->pw_name : std::to_string(::getuid());
        identity = "default_internal_user = " + name + "\ndefault_login_user = " + name
            + "\nservice imap-login {\n  chroot =\n}\nservice pop3-login {\n  chroot =\n}\n";
    }
    const std::string& d = dir_;
    std::string mechanisms = "plain login";
    std::string oauth;
    if (!options_.introspectionUrl.empty()) {
        // auth_debug stays off: it would write the tokens into the log.
        mechanisms += " xoauth2 oauthbearer";
        WriteFile(d + "/oauth2.conf.ext",
            "introspection_mode = post\nintrospection_url = " + options_.introspectionUrl
                + "\nusername_attribute = username\nactive_attribute = active\nactive_value = true\n");
        oauth = "passdb {\n  driver = oauth2\n  mechanisms = xoauth2 oauthbearer\n  args = " + d
            + "/oauth2.conf.ext\n}\n";
    }
    WriteFile(d + "/dovecot.conf",
        "base_dir = " + d + "/run\n" + "state_dir = " + d + "/state\n" + "instance_name = quorvel-test-"
            + std::to_string(::getpid()) + "\n" + "log_path = " + d + "/dovecot.log\n" + "protocols = imap pop3\n"
            + "listen = 127.0.0.1\n"
              "ssl = yes\n"
              "ssl_min_protocol = TLSv1.2\n"
              "ssl_cert = <"
            + identity_.certificateFile + "\nssl_key = <" + identity_.keyFile + "\n" + "disable_plaintext_auth = yes\n"
            + "auth_mechanisms = " + mechanisms + "\n"
            + "auth_failure_delay = 0\n"
              "first_valid_uid = 1\n"
              "mail_location = maildir:~\n"
            + oauth + "passdb {\n  driver = passwd-file\n  args = scheme=PLAIN " + d + "/passwd\n}\n"
            + "userdb {\n  driver = passwd-file\n  args = " + d + "/passwd\n}\n"
            + "service imap-login {\n  inet_listener imap {\n    port = " + std::to_string(imap_)
            + "\n  }\n  inet_listener imaps {\n    port = " + std::to_string(imaps_) + "\n    ssl = yes\n  }\n}\n"
            + "service pop3-login {\n  inet_listener pop3 {\n    port = " + std::to_string(pop3_)
            + "\n  }\n  inet_listener pop3s {\n    port = " + std::to_string(pop3s_)
            + "\n    ssl = yes\n  }\n}\n"
            // Failed logins in one test must not slow down the logins of the next.
            + "service anvil {\n  unix_listener anvil-auth-penalty {\n    mode = 0\n  }\n}\n" + identity + extraConfig_
            + "\n");
    const std::string config = d + "/dovecot.conf";
    const std::string program = ::access("/usr/sbin/dovecot", X_OK) == 0 ? "/usr/sbin/dovecot" : "dovecot";
    pid_ = SpawnServer({ program, "-F", "-c", config });
    return AwaitServer(
        pid_, [this] { return Accepts(imap_) && Accepts(imaps_) && Accepts(pop3_) && Accepts(pop3s_); },
        std::chrono::seconds(15));
}

void Dovecot::Stop()
{
    StopServer(pid_, std::chrono::seconds(5));
}

} // namespace testing_support
