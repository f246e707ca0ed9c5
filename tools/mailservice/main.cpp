// quorvel-mailservice: a stand-in web-mail login server and home-page server on loopback.
#include "MailService.h"

#include <charconv>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

namespace {

const char* const kUsage = R"(usage: quorvel-mailservice [options]
  --port N             listen on this loopback port (0, the default: any free port)
  --bind ADDRESS       listen on this loopback address (default 127.0.0.1)
  --port-file FILE     write the port there once listening
  --accounts FILE      accounts, one a line: user TAB password TAB what [TAB option...]
  --account ACCOUNT    one account as user:password:what[:option...]
                         what: a number of new messages, "fail", or "page=TEXT"
                         options: redirect, fault=MODE, delay=MS
                         fields understand \t \r \n \\ and \xHH
  --version TEXT       the body of every path ending in "verInfo" (escapes as above)
  --version-file FILE  the same, taken byte for byte from a file
  --fault MODE         for every request: none, stall, slow, reset, garbage, close
  --delay MS           wait this long before every answer
  --log FILE           append each request line there
Prints "listening 127.0.0.1 PORT" on standard output when ready. SIGUSR1 lets stalled
requests be answered; SIGTERM or SIGINT ends the service.
)";

bool ReadFile(const std::string& path, std::string& content)
{
    std::ifstream in(path, std::ios::binary);
    if (!in)
        return false;
    std::ostringstream all;
    all << in.rdbuf();
    content = all.str();
    return true;
}

bool ParseInt(const std::string& text, int& value)
{
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && ec == std::errc() && end == text.data() + text.size() && value >= 0;
}

int Fail(const std::string& message)
{
    std::cerr << "quorvel-mailservice: " << message << "\n";
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace mailservice;
    Options options;
    std::vector<Account> accounts;
    std::optional<std::string> version;
    std::string portFile;

    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--help" || arg == "-h") {
            std::cout << kUsage;
            return 0;
        }
        if (i + 1 >= argc)
            return Fail("missing value after " + arg + "\n" + kUsage);
        const std::string value = argv[++i];
        std::string error;
        if (arg == "--port") {
            if (!ParseInt(value, options.port) || options.port > 65535)
                return Fail("bad port '" + value + "'");
        } else if (arg == "--bind") {
            options.bindAddress = value;
        } else if (arg == "--port-file") {
            portFile = value;
        } else if (arg == "--accounts") {
            if (!ReadAccountFile(value, accounts, error))
                return Fail(error);
        } else if (arg == "--account") {
            auto account = ParseAccountArgument(value, error);
            if (!account)
                return Fail(error);
            accounts.push_back(std::move(*account));
        } else if (arg == "--version") {
            version = Unescape(value);
        } else if (arg == "--version-file") {
            std::string content;
            if (!ReadFile(value, content))
                return Fail("cannot read " + value);
            version = content;
        } else if (arg == "--fault") {
            const auto fault = ParseFault(value);
            if (!fault)
                return Fail("unknown fault '" + value + "'");
            options.fault = *fault;
        } else if (arg == "--delay") {
            if (!ParseInt(value, options.delayMs))
                return Fail("bad delay '" + value + "'");
        } else if (arg == "--log") {
            options.logPath = value;
        } else {
            return Fail("unknown option " + arg + "\n" + kUsage);
        }
    }

    MailService service(options, Responder(std::move(accounts), std::move(version)));
    std::string error;
    if (!service.Listen(error))
        return Fail(error);
    if (!portFile.empty()) {
        // Written whole under another name first, so that a reader never sees half a number.
        const std::string temporary = portFile + ".part";
        {
            std::ofstream out(temporary);
            out << service.Port() << "\n";
            if (!out)
                return Fail("cannot write " + portFile);
        }
        if (std::rename(temporary.c_str(), portFile.c_str()) != 0)
            return Fail("cannot write " + portFile);
    }
    std::cout << "listening " << options.bindAddress << " " << service.Port() << std::endl;
    service.Run();
    return 0;
}
