// TNMURL: decodes URL-encoded text ("+" for a space, "%" and two hexadecimal digits for a byte).
#pragma once

#include <QObject>

#include <functional>
#include <string>

namespace net {

using TOnErrorEvent = std::function<void(QObject* Sender, const std::string& Operation, const std::string& ErrMsg)>;

class TNMURL : public QObject {
public:
    explicit TNMURL(QObject* owner = nullptr)
        : QObject(owner)
    { }

    // A malformed escape ends decoding: OnError hears about it and the input comes back as it was.
    std::string DecodeString(const std::string& text);
    std::string DecodedString() { return DecodeString(InputString); }

    std::string InputString;
    TOnErrorEvent OnError;
};

} // namespace net
