// A TNMHTTP whose request state a test may read and set.
#pragma once

#include "net/NMHttp.h"

#include <string>

namespace http_tests {

class Probe : public net::TNMHTTP {
public:
    using TNMHTTP::BuildRequest;
    using TNMHTTP::Command;
    using TNMHTTP::DecodePostData;
    using TNMHTTP::DestinationURI;
    using TNMHTTP::HeaderLines;
    using TNMHTTP::Path;
    using TNMHTTP::ReceivedCookie;
    using TNMHTTP::RequestData;
    using TNMHTTP::SplitURL;
    using TNMHTTP::TNMHTTP;
    using TNMHTTP::URL;

    // Splits `url` as a request would and returns the path.
    std::string Split(const std::string& url)
    {
        URL = url;
        SplitURL();
        return Path;
    }

    // The request header a command would send for `url`, lines joined with CR LF.
    std::string Request(net::CmdType command, const std::string& url)
    {
        Command = command;
        Split(url);
        BuildRequest();
        return HeaderLines.Text();
    }
};

inline const std::string kAccept1 = "Accept: www/source, text/html, video/mpeg, image/jpeg, image/x-tiff\r\n";
inline const std::string kAccept2 = "Accept: image/x-rgb, image/x-xbm, image/gif, */*, application/postscript\r\n";
inline const std::string kForm = "Content-type: application/x-www-form-urlencoded\r\n";

// The request of a GET with an empty HeaderInfo, direct or through a proxy.
inline std::string DirectGet(const std::string& path, const std::string& host)
{
    return "GET " + path + " HTTP/1.0\r\nHost: " + host + "\r\n" + kAccept1 + kAccept2 + kForm + "\r\n";
}

inline std::string ProxyGet(const std::string& url, const std::string& host)
{
    return "GET " + url + " HTTP/1.0\r\nProxy-Connection: Keep-Alive\r\nHost: " + host + "\r\n" + kAccept1 + kAccept2
        + kForm + "\r\n";
}

} // namespace http_tests
