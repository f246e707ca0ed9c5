// URL splitting and request building of the HTTP client for arbitrary addresses and header
// values, on one component that never connects.
#include "FuzzInput.h"
#include "net/NMHttp.h"
#include "platform/core/Exceptions.h"

#include <QCoreApplication>

#include <cstdlib>

namespace {

class Builder : public net::TNMHTTP {
public:
    using TNMHTTP::TNMHTTP;
    std::string Build(net::CmdType command, const std::string& url)
    {
        Command = command;
        URL = url;
        SplitURL();
        if (Path.size() > 256 || Path.empty())
            std::abort();
        BuildRequest();
        const std::string text = HeaderLines.Text();
        if (text.size() < 2 || text.compare(text.size() - 2, 2, "\r\n") != 0)
            std::abort();
        return text;
    }
};

Builder* g_builder = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv)
{
    static QCoreApplication app(*argc, *argv);
    g_builder = new Builder(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const auto command = static_cast<net::CmdType>(input.Byte() % 13);
    const std::uint8_t flags = input.Byte();
    Builder& http = *g_builder;
    http.Host.clear();
    http.Port = 0;
    http.Proxy = (flags & 1) ? "proxy" : "";
    net::THeaderInfo& info = *http.HeaderInfo();
    info.LocalMailAddress = input.Text();
    info.Cookie = input.Text();
    info.UserId = input.Text();
    info.Password = input.Text();
    const std::string url = input.Rest();
    try {
        http.Build(command, url);
    } catch (const platform::Exception&) {
        // "Empty URL" and a port that is no number.
    }
    return 0;
}
