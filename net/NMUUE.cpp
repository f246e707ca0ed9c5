#include "net/NMUUE.h"

#include "net/Base64.h"

#include <istream>
#include <ostream>
#include <string>
#include <string_view>

namespace net {
namespace {

constexpr std::string_view MimeAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr std::size_t LineBytes = 45;

} // namespace

void TNMUUProcessor::LoadAlphabet()
{
    for (std::size_t v = 0; v < FTable.size(); ++v)
        FTable[v] = Method == uuMime ? MimeAlphabet[v] : (v == 0 ? '`' : static_cast<char>(32 + v));
}

void TNMUUProcessor::Encode()
{
    if (SourceStream) {
        SourceStream->clear();
        SourceStream->seekg(0);
    }
    if (OnBeginEncode)
        OnBeginEncode(this);

    try {
        EncodeLines();
    } catch (...) {
        Rewind();
        if (OnEndEncode)
            OnEndEncode(this);
        throw;
    }
    Rewind();
    if (OnEndEncode)
        OnEndEncode(this);
}

void TNMUUProcessor::Rewind()
{
    if (!TargetStream)
        return;
    TargetStream->flush();
    TargetStream->seekp(0);
    if (auto* both = dynamic_cast<std::istream*>(TargetStream)) {
        both->clear();
        both->seekg(0);
    }
}

void TNMUUProcessor::EncodeLines()
{
    LoadAlphabet();
    if (!SourceStream || !TargetStream)
        return;

    unsigned char chunk[LineBytes];
    std::string line;
    while (true) {
        SourceStream->read(reinterpret_cast<char*>(chunk), LineBytes);
        const auto count = static_cast<std::size_t>(SourceStream->gcount());
        if (count == 0)
            break;
        line.clear();
        if (Method == uuCode)
            line += FTable[count];
        line += EncodeBase64Groups(std::string_view(reinterpret_cast<const char*>(chunk), count),
            std::string_view(FTable.data(), FTable.size()), Method == uuMime);
        line += "\r\n";
        TargetStream->write(line.data(), static_cast<std::streamsize>(line.size()));
        if (count < LineBytes)
            break;
    }
    if (Method == uuCode)
        TargetStream->write("`\r\n", 3);
}

} // namespace net
