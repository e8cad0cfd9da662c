#include "dsu/session/WriteBuffer.h"

#include "session/FileIo.h"
#include "session/SessionError.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace solvane::dsusim {

WriteBuffer::WriteBuffer(const std::filesystem::path& file) {
    fd_ = ::open(file.c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd_ < 0) {
        const int error = errno;
        throw session::SessionError(file.string() + " cannot be created: " + std::strerror(error),
                                    error);
    }
    buffer_.reserve(Capacity);
}

WriteBuffer::~WriteBuffer() {
    if (fd_ >= 0)
        ::close(fd_);
}

int64_t WriteBuffer::seek(int64_t offset, int whence) noexcept {
    const int64_t base = whence == SEEK_CUR ? position_ : whence == SEEK_END ? length_ : 0;
    if (base + offset < 0)
        return -1;
    position_ = base + offset;
    return position_;
}

int64_t WriteBuffer::write(const void* bytes, int64_t count) noexcept {
    if (error_ != 0 || count <= 0)
        return 0;
    const auto size = static_cast<std::size_t>(count);
    const bool continues = position_ == start_ + static_cast<int64_t>(buffer_.size());
    if ((!continues || buffer_.size() + size > Capacity) && !flush())
        return 0;
    if (buffer_.empty())
        start_ = position_;
    if (size > Capacity) {
        if (!session::writeAt(fd_, bytes, size, static_cast<uint64_t>(position_))) {
            error_ = errno != 0 ? errno : EIO;
            return 0;
        }
    } else {
        const auto* first = static_cast<const char*>(bytes);
        buffer_.insert(buffer_.end(), first, first + size);
    }
    position_ += count;
    length_ = std::max(length_, position_);
    return count;
}

int64_t WriteBuffer::read(void* into, int64_t count) noexcept {
    if (!flush() || count <= 0)
        return 0;
    const ssize_t got = ::pread(fd_, into, static_cast<std::size_t>(count), position_);
    if (got <= 0)
        return 0;
    position_ += got;
    return got;
}

bool WriteBuffer::flush() noexcept {
    if (error_ != 0)
        return false;
    if (buffer_.empty())
        return true;
    errno = 0;
    if (!session::writeAt(fd_, buffer_.data(), buffer_.size(), static_cast<uint64_t>(start_))) {
        error_ = errno != 0 ? errno : EIO;
        return false;
    }
    buffer_.clear();
    return true;
}

} // namespace solvane::dsusim
