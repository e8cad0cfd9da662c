#pragma once
// A file written through a buffer that the writer empties when it chooses: the sound file's
// encoder hands over a frame at a time, a dozen a second, and the recording takes them to the
// disk with one write a second. Writes that go on where the last one ended are gathered; a
// write elsewhere (an encoder completing its header at the end) empties the buffer first.
// Made for libsndfile's virtual I/O; the buffer is reserved once, so writing allocates nothing.

#include <cstdint>
#include <filesystem>
#include <vector>

namespace solvane::dsusim {

class WriteBuffer {
public:
    static constexpr std::size_t Capacity =
        std::size_t{256} * 1024; ///< above a second of 16-bit stereo

    /// Creates `file` (replacing one of that name). Throws session::SessionError.
    explicit WriteBuffer(const std::filesystem::path& file);
    /// Closes the file; what the buffer holds is lost (call flush() first).
    ~WriteBuffer();
    WriteBuffer(const WriteBuffer&) = delete;
    WriteBuffer& operator=(const WriteBuffer&) = delete;

    /// The file's length as written so far, the buffer included.
    [[nodiscard]] int64_t length() const noexcept { return length_; }
    [[nodiscard]] int64_t tell() const noexcept { return position_; }
    /// Moves the position as lseek does; the new position, or -1.
    int64_t seek(int64_t offset, int whence) noexcept;
    /// Takes `count` bytes at the position; the bytes taken (fewer once the disk failed).
    int64_t write(const void* bytes, int64_t count) noexcept;
    /// Reads at the position, the buffer emptied first.
    int64_t read(void* into, int64_t count) noexcept;
    /// Writes what the buffer holds with one write; false when the file did not take it all
    /// (error() then says why, and nothing more is taken).
    bool flush() noexcept;
    /// The system's error of the first write that failed, or 0.
    [[nodiscard]] int error() const noexcept { return error_; }

private:
    int fd_ = -1;
    std::vector<char> buffer_;
    int64_t start_ = 0;    ///< where in the file the buffer's bytes go
    int64_t position_ = 0; ///< where the next write goes
    int64_t length_ = 0;
    int error_ = 0;
};

} // namespace solvane::dsusim
