// TNMUUProcessor: encodes a byte stream as Base64 (uuMime) or uuencoded (uuCode) lines.
#pragma once

#include "platform/core/Events.h"

#include <QObject>

#include <array>
#include <iosfwd>

namespace net {

enum UUMethods { uuMime = 0, uuCode = 1 };

class TNMUUProcessor : public QObject {
public:
    explicit TNMUUProcessor(QObject* owner = nullptr)
        : QObject(owner)
    { }

    // Encodes all of SourceStream into TargetStream, 45 source bytes per line, each line ended
    // by CR LF; rewinds TargetStream afterwards.
    void Encode();

    UUMethods Method = uuMime;
    platform::TNotifyEvent OnBeginEncode;
    platform::TNotifyEvent OnEndEncode;
    platform::TNotifyEvent OnBeginDecode;
    platform::TNotifyEvent OnEndDecode;

    // Not owned.
    std::istream* SourceStream = nullptr;
    std::ostream* TargetStream = nullptr;

private:
    void LoadAlphabet();
    void EncodeLines();
    void Rewind();
    std::array<char, 64> FTable {};
};

} // namespace net
