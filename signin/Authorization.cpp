// The authorization address and the loopback redirection: one GET with the matching state.
#include "signin/Authorization.h"

#include "signin/FormEncoding.h"

namespace signin {
namespace {

std::string HtmlEscape(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// Leaves only printable ASCII of a provider's error text, shortened: it is shown to the user.
std::string Printable(std::string_view text)
{
    std::string out;
    for (const char c : text) {
        if (c >= ' ' && c < 0x7F && out.size() < 200)
            out += c;
    }
    return out;
}

} // namespace

std::string AuthorizationAddress(const Provider& provider, const AuthorizationRequest& request)
{
    const char joiner = provider.authorize.find('?') == std::string::npos ? '?' : '&';
    return provider.authorize + joiner
        + FormEncode({
            { "response_type", "code" },
            { "client_id", provider.clientId },
            { "redirect_uri", request.redirectUri },
            { "scope", provider.scope },
            { "state", request.state },
            { "code_challenge", request.challenge },
            { "code_challenge_method", "S256" },
            { "login_hint", request.loginHint },
        });
}

RedirectOutcome ReadRedirectRequest(std::string_view bytes, std::string_view expectedState)
{
    using Kind = RedirectOutcome::Kind;
    // A bare LF ends the header too, for the simplest clients.
    auto end = bytes.find("\r\n\r\n");
    if (end == std::string_view::npos)
        end = bytes.find("\n\n");
    if (end == std::string_view::npos)
        return { bytes.size() >= kMaxRedirectRequest ? Kind::Foreign : Kind::Incomplete, {}, {} };
    if (end >= kMaxRedirectRequest)
        return { Kind::Foreign, {}, {} };
    const auto lineEnd = bytes.find_first_of("\r\n");
    const std::string_view line = bytes.substr(0, lineEnd);
    if (!line.starts_with("GET /"))
        return { Kind::Foreign, {}, {} };
    const auto targetEnd = line.find(' ', 4);
    if (targetEnd == std::string_view::npos || !line.substr(targetEnd + 1).starts_with("HTTP/1."))
        return { Kind::Foreign, {}, {} };
    const std::string_view target = line.substr(4, targetEnd - 4);
    const auto question = target.find('?');
    // The redirect address is the listener's root; any other path (a favicon, say) is not ours.
    if (target.substr(0, question) != "/" || question == std::string_view::npos)
        return { Kind::Foreign, {}, {} };
    const auto fields = FormDecode(target.substr(question + 1));
    if (!fields || expectedState.empty())
        return { Kind::Foreign, {}, {} };
    const auto one = [&](const char* name) -> std::optional<std::string> {
        if (fields->count(name) != 1)
            return std::nullopt;
        return fields->find(name)->second;
    };
    const auto state = one("state");
    if (!state || *state != expectedState)
        return { Kind::Foreign, {}, {} };
    if (const auto error = one("error")) {
        if (*error == "access_denied")
            return { Kind::Cancelled, {}, *error };
        std::string text = Printable(*error);
        if (const auto description = one("error_description"); description && !description->empty())
            text += " (" + Printable(*description) + ")";
        return { Kind::Failed, {}, text };
    }
    const auto code = one("code");
    if (!code || code->empty())
        return { Kind::Foreign, {}, {} };
    return { Kind::Code, *code, {} };
}

std::string ClosingText(const RedirectOutcome& outcome, std::string_view address)
{
    switch (outcome.kind) {
    case RedirectOutcome::Kind::Code:
        return "Quorvel is signed in to " + std::string(address) + ". You can close this tab.";
    case RedirectOutcome::Kind::Cancelled:
        return "Sign-in cancelled";
    case RedirectOutcome::Kind::Failed:
        return "Sign-in failed: " + outcome.error;
    case RedirectOutcome::Kind::Foreign:
    case RedirectOutcome::Kind::Incomplete:
        break;
    }
    return "This is not a sign-in of Quorvel.";
}

std::string RedirectReply(const RedirectOutcome& outcome, std::string_view address)
{
    const bool ours
        = outcome.kind != RedirectOutcome::Kind::Foreign && outcome.kind != RedirectOutcome::Kind::Incomplete;
    const std::string text = HtmlEscape(ClosingText(outcome, address));
    const std::string page = "<!DOCTYPE html>\n<html><head><meta charset=\"utf-8\"><title>Quorvel</title></head>"
                             "<body style=\"font-family:sans-serif;margin:3em\"><p>"
        + text + "</p></body></html>\n";
    return std::string(ours ? "HTTP/1.0 200 OK\r\n" : "HTTP/1.0 400 Bad Request\r\n")
        + "Content-Type: text/html; charset=utf-8\r\nCache-Control: no-store\r\nConnection: close\r\n"
          "Content-Length: "
        + std::to_string(page.size()) + "\r\n\r\n" + page;
}

} // namespace signin
