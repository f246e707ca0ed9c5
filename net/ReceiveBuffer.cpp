#include "net/ReceiveBuffer.h"

#include "net/LineEnd.h"

#include <algorithm>
#include <cstring>

namespace net {
namespace {

// Consumed bytes are given back once they are this many and at least half of the buffer, so
// every byte is moved at most once on average.
constexpr std::size_t kCompactAfter = std::size_t { 64 } * 1024;

} // namespace

void TReceiveBuffer::Seek(std::int64_t position)
{
    position_ = start_ + static_cast<std::size_t>(std::clamp<std::int64_t>(position, 0, Size()));
}

std::int64_t TReceiveBuffer::Read(char* buffer, std::int64_t count)
{
    const std::size_t n
        = std::min(data_.size() - position_, static_cast<std::size_t>(std::max<std::int64_t>(count, 0)));
    std::memcpy(buffer, data_.data() + position_, n);
    position_ += n;
    return static_cast<std::int64_t>(n);
}

void TReceiveBuffer::Write(const char* buffer, std::int64_t count)
{
    if (count <= 0)
        return;
    const auto n = static_cast<std::size_t>(count);
    if (position_ == data_.size()) {
        data_.append(buffer, n);
    } else {
        if (position_ + n > data_.size())
            data_.resize(position_ + n);
        std::memcpy(data_.data() + position_, buffer, n);
        searched_ = std::min(searched_, position_);
    }
    position_ += n;
}

void TReceiveBuffer::Clear()
{
    data_.clear();
    start_ = 0;
    position_ = 0;
    searched_ = 0;
}

std::size_t TReceiveBuffer::FindLineEnd()
{
    searched_ = std::max(searched_, start_);
    const auto line = FindLine(Bytes(), searched_ - start_);
    if (!line) {
        searched_ = data_.size();
        return std::string_view::npos;
    }
    const std::size_t end = line->whole - 1;
    searched_ = start_ + end;
    return end;
}

std::optional<std::string> TReceiveBuffer::TakeLine()
{
    const std::size_t end = FindLineEnd();
    if (end == std::string_view::npos)
        return std::nullopt;
    std::string line(data_, start_, end + 1);
    Consume(end + 1);
    return line;
}

void TReceiveBuffer::Consume(std::size_t count)
{
    start_ += std::min(count, data_.size() - start_);
    if (start_ == data_.size()) {
        Clear();
        return;
    }
    if (start_ >= kCompactAfter && start_ >= data_.size() / 2) {
        data_.erase(0, start_);
        searched_ = searched_ > start_ ? searched_ - start_ : 0;
        start_ = 0;
    }
    position_ = data_.size();
}

} // namespace net
