// libFuzzer entry: requests to the sign-in listener (the expected state, a zero byte, then the
// request's bytes), the page answered to them, and the query form the state and code come in.
#include "FuzzInput.h"
#include "signin/Authorization.h"
#include "signin/FormEncoding.h"

#include <cstdlib>
#include <string>

namespace {

using Kind = signin::RedirectOutcome::Kind;

// The reply's length field must name the page exactly: the browser waits for that many bytes.
void CheckReply(const std::string& reply, const signin::RedirectOutcome& outcome)
{
    const bool ours = outcome.kind != Kind::Foreign && outcome.kind != Kind::Incomplete;
    if (reply.starts_with("HTTP/1.0 200 ") != ours)
        std::abort();
    const auto head = reply.find("\r\n\r\n");
    const auto field = reply.find("Content-Length: ");
    if (head == std::string::npos || field == std::string::npos || field > head)
        std::abort();
    const std::string length = reply.substr(field + 16, reply.find("\r\n", field) - field - 16);
    if (length != std::to_string(reply.size() - head - 4))
        std::abort();
    // Whatever the provider put into its error stays text: no markup of its own.
    const auto open = reply.find("<p>", head);
    const auto close = reply.find("</p>", open);
    if (open == std::string::npos || close == std::string::npos)
        std::abort();
    const std::string text = reply.substr(open + 3, close - open - 3);
    if (text.find_first_of("<>\"") != std::string::npos || reply.find("</p>", close + 1) != std::string::npos)
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    const std::string state = input.Text();
    const std::string bytes = input.Rest();

    const signin::RedirectOutcome outcome = signin::ReadRedirectRequest(bytes, state);
    if (outcome.kind != Kind::Incomplete && outcome.kind != Kind::Foreign) {
        if (state.empty() || !bytes.starts_with("GET /?"))
            std::abort();
        if (bytes.find("\n\n") >= signin::kMaxRedirectRequest && bytes.find("\r\n\r\n") >= signin::kMaxRedirectRequest)
            std::abort();
    }
    if ((outcome.kind == Kind::Code) != !outcome.code.empty())
        std::abort();
    if (outcome.kind == Kind::Incomplete && bytes.size() >= signin::kMaxRedirectRequest)
        std::abort();
    for (const char c : outcome.error)
        if (c < ' ' || c >= 0x7F)
            std::abort();
    CheckReply(signin::RedirectReply(outcome, "someone@example.org"), outcome);

    // What the authorization address encodes, a query read gives back.
    const std::string value = state;
    const auto fields = signin::FormDecode(signin::FormEncode({ { "state", value }, { "code", bytes } }));
    if (!fields)
        std::abort();
    const std::size_t expected = (value.empty() ? 0 : 1) + (bytes.empty() ? 0 : 1);
    if (fields->size() != expected)
        std::abort();
    if (!value.empty() && fields->find("state")->second != value)
        std::abort();
    if (!bytes.empty() && fields->find("code")->second != bytes)
        std::abort();
    return 0;
}
