// The receive queue of the socket component: bytes are appended at the end and taken from the
// front, so reading a reply line by line costs time in proportion to its bytes.
#pragma once

#include "net/PsockStreams.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace net {

// A memory stream whose front can be consumed without moving the rest. Size, positions and
// Bytes count only the bytes not yet consumed; as with any stream, the position stands at the
// end between reads, so a position above 0 means bytes are waiting.
class TReceiveBuffer : public TStream {
public:
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size() - start_); }
    std::int64_t Position() const override { return static_cast<std::int64_t>(position_ - start_); }
    void Seek(std::int64_t position) override;
    std::int64_t Read(char* buffer, std::int64_t count) override;
    void Write(const char* buffer, std::int64_t count) override;
    void Clear() override;

    std::string_view Bytes() const { return std::string_view(data_).substr(start_); }
    // Offset of the first line feed among the waiting bytes, or npos. Bytes already searched
    // are not searched again, however often this is asked while a long line arrives.
    std::size_t FindLineEnd();
    // The first line with its line feed (and any carriage return before it), taken off the
    // front; nothing when no whole line is waiting.
    std::optional<std::string> TakeLine();
    // Drops the first `count` waiting bytes; the position moves to the end.
    void Consume(std::size_t count);

private:
    std::string data_;
    std::size_t start_ = 0;
    std::size_t position_ = 0;
    // Absolute offset up to which the waiting bytes hold no line feed.
    std::size_t searched_ = 0;
};

} // namespace net
