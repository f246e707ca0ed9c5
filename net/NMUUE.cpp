#include "net/NMUUE.h"

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
        std::size_t i = 0;
        for (; i + 3 <= count; i += 3) {
            const unsigned group = (chunk[i] << 16) | (chunk[i + 1] << 8) | chunk[i + 2];
            line += FTable[(group >> 18) & 63];
            line += FTable[(group >> 12) & 63];
            line += FTable[(group >> 6) & 63];
            line += FTable[group & 63];
        }
        if (count - i == 1) {
            line += FTable[chunk[i] >> 2];
            line += FTable[(chunk[i] & 3) << 4];
            if (Method == uuMime)
                line += "==";
        } else if (count - i == 2) {
            line += FTable[chunk[i] >> 2];
            line += FTable[((chunk[i] & 3) << 4) | (chunk[i + 1] >> 4)];
            line += FTable[(chunk[i + 1] & 15) << 2];
            if (Method == uuMime)
                line += '=';
        }
        line += "\r\n";
        TargetStream->write(line.data(), static_cast<std::streamsize>(line.size()));
        if (count < LineBytes)
            break;
    }
    if (Method == uuCode)
        TargetStream->write("`\r\n", 3);
}

} // namespace net
