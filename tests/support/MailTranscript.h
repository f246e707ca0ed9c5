// Mail conversations as data: a transcript file holds the server's lines ("S: "), the client's
// lines ("C: "), the upgrade to TLS ("== TLS") and other points of the client's own ("== NAME",
// such as "== RENEW" for a timer) in order, after a header of "name: value" lines.
// A TranscriptChannel plays the server's side of one to the client code.
#pragma once

#include "net/LineChannel.h"

#include <cstddef>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace testing_support {

struct Transcript {
    struct Step {
        enum class Kind { Server, Client, Tls, Mark };
        Kind kind = Kind::Server;
        std::string text;
        int line = 0; // in the file, for messages
    };
    std::map<std::string, std::string> header;
    std::vector<Step> steps;

    std::string Value(const std::string& name, const std::string& fallback = {}) const;
};

// Reads a transcript. Lines it does not know (other than blank lines and "#" comments) are
// reported in `error` when given; a fuzzer's input is read leniently.
Transcript ReadTranscript(std::string_view text, std::string* error = nullptr);

// The client did what the transcript does not have at this point.
class TranscriptBreak : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class TranscriptChannel : public net::LineChannel {
public:
    // `strict`: every line the client sends must be the next "C: " line; otherwise (a fuzzer's
    // run) the client's lines and the upgrade are taken wherever they come.
    TranscriptChannel(const Transcript& transcript, bool secureFromStart, bool strict = true);

    std::string ReadLine() override;
    std::string ReadBytes(std::size_t count) override;
    void SendLine(std::string_view line) override;
    void SendSecret(std::string_view bytes) override;
    void UpgradeToTls() override;
    bool IsSecure() const override { return secure_; }
    void ShortenReplies(std::int32_t) override { }
    void AllowSlowReplies(std::int32_t) override { }

    // Where the client first left the transcript; empty while it kept to it (a break may be
    // swallowed by the client's polite end of a session, so it is kept here too).
    const std::string& Divergence() const { return divergence_; }
    // Every step has been played, every server line read, and nothing the client sent is left over.
    bool Finished() const { return next_ == transcript_.steps.size() && pending_.empty() && input_.empty(); }
    // True (and the point passed) when every server line before it has been read and the next
    // step is the point "== name".
    bool TakeMark(const std::string& name);
    // What the client sent, line breaks included; and what of it went as plain command lines,
    // past the gate for secrets.
    const std::string& Sent() const { return sent_; }
    const std::string& SentAsLines() const { return sentAsLines_; }

private:
    // Moves the server's lines up to the next client step into the input; false when none came.
    bool Fill();
    void Take(std::string_view bytes);
    [[noreturn]] void Break(const std::string& what);
    const Transcript::Step* Next() const;

    const Transcript& transcript_;
    bool secure_;
    bool strict_;
    std::size_t next_ = 0;
    std::string input_;
    std::string pending_;
    std::string sent_;
    std::string sentAsLines_;
    std::string divergence_;
};

} // namespace testing_support
