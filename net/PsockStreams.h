// Byte streams of the socket component: in-memory queues and the files that stand in for them.
#pragma once

#include "platform/core/Exceptions.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace net {

// The file system's refusals, raised when a stream cannot be opened, created or written.
class EFOpenError : public platform::Exception {
public:
    using platform::Exception::Exception;
};
class EFCreateError : public platform::Exception {
public:
    using platform::Exception::Exception;
};
class EWriteError : public platform::Exception {
public:
    using platform::Exception::Exception;
};

// A byte stream with a position, read and written at the position.
class TStream {
public:
    virtual ~TStream() = default;
    virtual std::int64_t Size() const = 0;
    virtual std::int64_t Position() const = 0;
    virtual void Seek(std::int64_t position) = 0;
    // Returns the number of bytes read: fewer than `count` only at the end.
    virtual std::int64_t Read(char* buffer, std::int64_t count) = 0;
    virtual void Write(const char* buffer, std::int64_t count) = 0;
    // Size and position 0.
    virtual void Clear() = 0;

    void Append(std::string_view bytes)
    {
        Seek(Size());
        Write(bytes.data(), static_cast<std::int64_t>(bytes.size()));
    }
};

class TMemoryStream : public TStream {
public:
    std::int64_t Size() const override { return static_cast<std::int64_t>(data_.size()); }
    std::int64_t Position() const override { return position_; }
    void Seek(std::int64_t position) override;
    std::int64_t Read(char* buffer, std::int64_t count) override;
    void Write(const char* buffer, std::int64_t count) override;
    void Clear() override;

    std::string_view Bytes() const { return data_; }

private:
    std::string data_;
    std::int64_t position_ = 0;
};

class TFileStream : public TStream {
public:
    enum class Mode { OpenRead, Create };
    // OpenRead raises EFOpenError, Create (replacing an existing file) raises EFCreateError.
    TFileStream(const std::string& fileName, Mode mode);
    ~TFileStream() override;
    TFileStream(const TFileStream&) = delete;
    TFileStream& operator=(const TFileStream&) = delete;

    std::int64_t Size() const override;
    std::int64_t Position() const override { return position_; }
    void Seek(std::int64_t position) override;
    std::int64_t Read(char* buffer, std::int64_t count) override;
    void Write(const char* buffer, std::int64_t count) override;
    void Clear() override;

private:
    void noteWritten();

    std::string fileName_;
    int fd_ = -1;
    std::int64_t position_ = 0;
    // A file this stream created is written by it alone, a chunk at a time at its end: its size
    // is kept here instead of asked of the file system for every chunk. -1 for a file opened
    // for reading, whose size is the file's own.
    std::int64_t createdSize_ = -1;
};

} // namespace net
