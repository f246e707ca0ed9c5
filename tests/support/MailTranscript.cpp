// Transcript files of mail conversations and the channel that plays their server's side.
#include "tests/support/MailTranscript.h"

#include "net/SockErrors.h"

namespace testing_support {

std::string Transcript::Value(const std::string& name, const std::string& fallback) const
{
    const auto it = header.find(name);
    return it == header.end() ? fallback : it->second;
}

Transcript ReadTranscript(std::string_view text, std::string* error)
{
    Transcript t;
    int number = 0;
    while (!text.empty()) {
        const std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        ++number;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        if (line.starts_with("S: ") || line.starts_with("C: ")) {
            const auto kind = line[0] == 'S' ? Transcript::Step::Kind::Server : Transcript::Step::Kind::Client;
            t.steps.push_back({ kind, std::string(line.substr(3)), number });
        } else if (line == "== TLS") {
            t.steps.push_back({ Transcript::Step::Kind::Tls, {}, number });
        } else if (line.starts_with("== ")) {
            t.steps.push_back({ Transcript::Step::Kind::Mark, std::string(line.substr(3)), number });
        } else if (line.empty() || line.starts_with("#")) {
            continue;
        } else if (const std::size_t colon = line.find(": "); colon != std::string_view::npos && t.steps.empty()) {
            t.header[std::string(line.substr(0, colon))] = std::string(line.substr(colon + 2));
        } else if (error && error->empty()) {
            *error = "line " + std::to_string(number) + " cannot be read: " + std::string(line);
        }
    }
    return t;
}

TranscriptChannel::TranscriptChannel(const Transcript& transcript, bool secureFromStart, bool strict)
    : transcript_(transcript)
    , secure_(secureFromStart)
    , strict_(strict)
{ }

const Transcript::Step* TranscriptChannel::Next() const
{
    return next_ < transcript_.steps.size() ? &transcript_.steps[next_] : nullptr;
}

void TranscriptChannel::Break(const std::string& what)
{
    if (divergence_.empty())
        divergence_ = what;
    throw TranscriptBreak(what);
}

bool TranscriptChannel::Fill()
{
    bool filled = false;
    while (const auto* step = Next()) {
        if (step->kind == Transcript::Step::Kind::Server) {
            input_ += step->text + "\r\n";
            ++next_;
            filled = true;
            continue;
        }
        if (strict_) {
            if (!filled)
                Break("line " + std::to_string(step->line) + ": the client waits for a reply where it should "
                    + (step->kind == Transcript::Step::Kind::Tls         ? "upgrade to TLS"
                            : step->kind == Transcript::Step::Kind::Mark ? "come to " + step->text
                                                                         : "send: " + step->text));
            return true;
        }
        // A lenient run: the client's steps come wherever the client makes them.
        ++next_;
    }
    return filled;
}

std::string TranscriptChannel::ReadLine()
{
    std::size_t at;
    while ((at = input_.find('\n')) == std::string::npos)
        if (!Fill())
            throw net::ESockError("The mail server closed the connection");
    std::size_t end = at;
    if (end > 0 && input_[end - 1] == '\r')
        --end;
    std::string line = input_.substr(0, end);
    input_.erase(0, at + 1);
    return line;
}

std::string TranscriptChannel::ReadBytes(std::size_t count)
{
    while (input_.size() < count)
        if (!Fill())
            throw net::ESockError("The mail server closed the connection");
    std::string bytes = input_.substr(0, count);
    input_.erase(0, count);
    return bytes;
}

void TranscriptChannel::SendLine(std::string_view line)
{
    sentAsLines_ += line;
    sentAsLines_ += "\r\n";
    Take(std::string(line) + "\r\n");
}

void TranscriptChannel::SendSecret(std::string_view bytes)
{
    if (!secure_)
        throw net::ESockError("The connection to the mail server is not secure: the password is not sent");
    Take(bytes);
}

void TranscriptChannel::Take(std::string_view bytes)
{
    sent_ += bytes;
    if (!strict_)
        return;
    pending_ += bytes;
    std::size_t at;
    while ((at = pending_.find("\r\n")) != std::string::npos) {
        const std::string line = pending_.substr(0, at);
        pending_.erase(0, at + 2);
        const auto* step = Next();
        if (!step || step->kind != Transcript::Step::Kind::Client)
            Break("the client sent \"" + line + "\" where the transcript has "
                + (step ? "line " + std::to_string(step->line) : std::string("ended")));
        if (step->text != line)
            Break("line " + std::to_string(step->line) + ": the client sent \"" + line + "\" instead of \"" + step->text
                + "\"");
        ++next_;
    }
}

bool TranscriptChannel::TakeMark(const std::string& name)
{
    const auto* step = Next();
    if (!input_.empty() || !step || step->kind != Transcript::Step::Kind::Mark || step->text != name)
        return false;
    ++next_;
    return true;
}

void TranscriptChannel::UpgradeToTls()
{
    // Whatever came in the clear and was not read is dropped, as on a real connection.
    input_.clear();
    if (strict_) {
        const auto* step = Next();
        if (!step || step->kind != Transcript::Step::Kind::Tls)
            Break("the client upgraded to TLS where the transcript has "
                + (step ? "line " + std::to_string(step->line) : std::string("ended")));
        ++next_;
    }
    secure_ = true;
}

} // namespace testing_support
