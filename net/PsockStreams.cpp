#include "net/PsockStreams.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace net {

void TMemoryStream::Seek(std::int64_t position)
{
    position_ = std::clamp<std::int64_t>(position, 0, Size());
}

std::int64_t TMemoryStream::Read(char* buffer, std::int64_t count)
{
    const std::int64_t n = std::clamp<std::int64_t>(Size() - position_, 0, std::max<std::int64_t>(count, 0));
    std::memcpy(buffer, data_.data() + position_, static_cast<std::size_t>(n));
    position_ += n;
    return n;
}

void TMemoryStream::Write(const char* buffer, std::int64_t count)
{
    if (count <= 0)
        return;
    const auto pos = static_cast<std::size_t>(position_);
    const auto n = static_cast<std::size_t>(count);
    if (pos == data_.size()) {
        data_.append(buffer, n);
    } else {
        if (pos + n > data_.size())
            data_.resize(pos + n);
        std::memcpy(data_.data() + pos, buffer, n);
    }
    position_ += count;
}

void TMemoryStream::Clear()
{
    data_.clear();
    position_ = 0;
}

TFileStream::TFileStream(const std::string& fileName, Mode mode)
    : fileName_(fileName)
{
    if (mode == Mode::OpenRead) {
        fd_ = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw EFOpenError("Cannot open file \"" + fileName + "\". " + std::strerror(errno));
    } else {
        fd_ = ::open(fileName.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
        if (fd_ < 0)
            throw EFCreateError("Cannot create file \"" + fileName + "\". " + std::strerror(errno));
        createdSize_ = 0;
    }
}

TFileStream::~TFileStream()
{
    if (fd_ >= 0)
        ::close(fd_);
}

std::int64_t TFileStream::Size() const
{
    if (createdSize_ >= 0)
        return createdSize_;
    struct stat st { };
    return ::fstat(fd_, &st) == 0 ? static_cast<std::int64_t>(st.st_size) : 0;
}

void TFileStream::Seek(std::int64_t position)
{
    position_ = std::max<std::int64_t>(position, 0);
}

std::int64_t TFileStream::Read(char* buffer, std::int64_t count)
{
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, buffer + done, static_cast<std::size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        done += n;
    }
    position_ += done;
    return done;
}

void TFileStream::Write(const char* buffer, std::int64_t count)
{
    std::int64_t done = 0;
    while (done < count) {
        const ssize_t n = ::pwrite(fd_, buffer + done, static_cast<std::size_t>(count - done), position_ + done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            position_ += done;
            noteWritten();
            throw EWriteError("Stream write error in \"" + fileName_ + "\". " + std::strerror(n < 0 ? errno : ENOSPC));
        }
        done += n;
    }
    position_ += done;
    noteWritten();
}

void TFileStream::noteWritten()
{
    if (createdSize_ >= 0)
        createdSize_ = std::max(createdSize_, position_);
}

void TFileStream::Clear()
{
    if (::ftruncate(fd_, 0) != 0)
        throw EWriteError("Stream write error in \"" + fileName_ + "\". " + std::strerror(errno));
    position_ = 0;
    if (createdSize_ >= 0)
        createdSize_ = 0;
}

} // namespace net
