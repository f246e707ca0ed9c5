// A token request is a POST of a form that is sent exactly as encoded.
#include "signin/TokenEndpoint.h"

#include "net/NMHttp.h"

#include <QPointer>

namespace signin {
namespace {

class TokenRequest : public net::TNMHTTP {
public:
    explicit TokenRequest(QObject* owner)
        : TNMHTTP(owner)
    {
        // The form is percent-encoded already; decoding it again would change what it says.
        DecodePostData = false;
    }

protected:
    // The answer is JSON. The client's usual browser-like Accept lines make a server that
    // negotiates the type answer an error (invalid_grant among them) with an HTML page, which
    // would read as no answer at all instead of a withdrawn sign-in.
    void BuildRequest() override
    {
        TNMHTTP::BuildRequest();
        for (int i = HeaderLines.Count() - 1; i >= 0; --i) {
            if (HeaderLines[i].rfind("Accept:", 0) == 0)
                HeaderLines.Delete(i);
        }
        HeaderLines.Insert(1, "Accept: application/json");
    }
};

bool IsHttps(const std::string& address)
{
    return address.size() > 8 && QByteArray::fromStdString(address.substr(0, 8)).toLower() == "https://";
}

} // namespace

TokenReply PostToTokenEndpoint(QObject* owner, const Provider& provider, const std::string& form,
    const ProxySettings& proxy, std::int32_t timeOutMs)
{
    if (!IsHttps(provider.token))
        throw net::ESockError("The token address of " + provider.name + " is not an https:// address");
    TokenRequest http(owner);
    http.TimeOut = timeOutMs;
    http.ReplyTimeOut = timeOutMs;
    http.ReplyDeadline = 3 * timeOutMs;
    http.MaxBodySize = std::int64_t { 1024 } * 1024;
    http.ReportLevel = 2;
    if (!proxy.host.empty()) {
        http.Proxy = proxy.host;
        http.ProxyPort = proxy.port;
    }
    // A redirection would repeat the request as a GET without the form: the reply as it stands
    // is the answer.
    http.OnRedirect = [](bool& handled) { handled = true; };
    http.Post(provider.token, form);
    if (!http.SecureRequest())
        throw net::ESockError("The token service answered without TLS");
    return ReadTokenReply(http.ReplyNumber, http.Body);
}

} // namespace signin
