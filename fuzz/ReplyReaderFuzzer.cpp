// The HTTP client's reply reading fed arbitrary bytes cut at arbitrary packet boundaries: the
// receive queue that ReadLn takes lines from, the header reader the client hands them to, and
// the rules that end the body, checked against what must hold whatever a server sends.
#include "FuzzInput.h"
#include "net/NMHttpReplyHead.h"
#include "net/ReceiveBuffer.h"
#include "net/SockErrors.h"

#include <cstdlib>

namespace {

void Check(bool condition)
{
    if (!condition)
        std::abort();
}

bool NoLineBreakOrZero(const std::string& value)
{
    return value.find_first_of(std::string_view("\r\n\0", 3)) == std::string::npos;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    fuzz::Input input(data, size);
    // The first bytes choose the packet sizes, the reply's kind of request and the body limit.
    const std::size_t packetSeed = input.Byte() | (static_cast<std::size_t>(input.Byte()) << 8);
    const bool headRequest = (input.Byte() & 1) != 0;
    const std::uint64_t maxBody = 1 + input.Byte() * 64;
    const std::string bytes = input.Rest();

    net::TReceiveBuffer queue;
    net::TReplyHeadReader reader;
    std::string taken;
    std::uint64_t body = 0;
    bool headerDone = false;
    bool failed = false;
    std::size_t packet = 1 + packetSeed % 97;
    for (std::size_t at = 0; at < bytes.size() && !failed;) {
        const std::size_t n = std::min(packet, bytes.size() - at);
        queue.Append(std::string_view(bytes).substr(at, n));
        at += n;
        packet = 1 + (packet * 31 + packetSeed) % 211;
        try {
            while (!headerDone) {
                const auto line = queue.TakeLine();
                if (!line) {
                    if (reader.LineCannotEnd(queue.Bytes().size()))
                        failed = true;
                    break;
                }
                Check(!line->empty() && line->back() == '\n');
                Check(line->find('\n') == line->size() - 1);
                taken += *line;
                headerDone = reader.TakeLine(*line);
            }
        } catch (const net::ESockError&) {
            Check(reader.Head().HeaderBytes > net::TReplyHeadReader::kMaxHeaderBytes);
            failed = true;
        }
        if (headerDone && !failed) {
            body += static_cast<std::uint64_t>(queue.Size());
            taken += queue.Bytes();
            queue.Clear();
            const std::int64_t limit = net::BodyLimitBeforeClose(reader.Head(), headRequest);
            if ((limit >= 0 && body >= static_cast<std::uint64_t>(limit)) || body > maxBody)
                break;
        }
    }
    // Lines and body are the bytes received, in order, nothing lost or repeated.
    Check(bytes.compare(0, taken.size(), taken) == 0);
    if (!failed && !headerDone)
        Check(taken.size() + queue.Bytes().size() == bytes.size());
    const net::TReplyHead& head = reader.Head();
    // Nothing a reply says can carry a line break or a zero byte into the next request.
    Check(NoLineBreakOrZero(head.Cookie) && head.Cookie.size() <= 256);
    Check(NoLineBreakOrZero(head.Location) && head.Location.size() <= 256);
    Check(head.BytesToSend >= 0);
    if (headerDone) {
        const bool cutShort = net::BodyCutShort(head, headRequest, body);
        if (cutShort)
            Check(head.ContentLengthValid && body < static_cast<std::uint64_t>(head.ContentLength));
        Check(!(net::HasNoBody(head, headRequest) && cutShort));
    }
    return 0;
}
