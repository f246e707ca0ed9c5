// Taking a fuzzer's bytes apart into the arguments of the function under test.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace fuzz {

class Input {
public:
    Input(const std::uint8_t* data, std::size_t size)
        : rest_(reinterpret_cast<const char*>(data), size)
    { }

    std::uint8_t Byte()
    {
        if (rest_.empty())
            return 0;
        const auto b = static_cast<std::uint8_t>(rest_.front());
        rest_.remove_prefix(1);
        return b;
    }
    // The bytes up to the next zero byte (which is dropped), or all that is left.
    std::string Text()
    {
        const auto end = rest_.find('\0');
        std::string text(rest_.substr(0, end));
        rest_.remove_prefix(end == std::string_view::npos ? rest_.size() : end + 1);
        return text;
    }
    std::string Rest()
    {
        std::string text(rest_);
        rest_ = {};
        return text;
    }
    bool Empty() const { return rest_.empty(); }

private:
    std::string_view rest_;
};

} // namespace fuzz
