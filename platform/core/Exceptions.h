// Exception classes of the framework: the base with a message text, and the conversion error.
#pragma once

#include <exception>
#include <string>

namespace platform {

class Exception : public std::exception {
public:
    explicit Exception(std::string message) : Message(std::move(message)) {}
    const char* what() const noexcept override { return Message.c_str(); }

    std::string Message;
};

class EConvertError : public Exception {
public:
    using Exception::Exception;
};

} // namespace platform
