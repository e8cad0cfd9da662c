#pragma once
// What the session readers read from: a file opened without waiting and checked to be a plain
// file before a byte is read (a FIFO, a device, a socket or a folder is refused with a clear
// message, never waited on), or bytes in memory, so that a fuzzer can drive the readers too.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <span>
#include <sys/types.h>

namespace solvane::session {

/// What a file of `mode` that is no plain file is, in words: "a folder", "a FIFO", ...
const char* fileKind(mode_t mode);

/// Bytes a reader takes, from a file that may grow or from memory.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    /// The bytes there are now.
    virtual uint64_t size() = 0;
    /// Reads `into.size()` bytes at `offset`; false when fewer are there.
    virtual bool readAt(uint64_t offset, std::span<char> into) = 0;
};

class MemorySource : public ByteSource {
public:
    explicit MemorySource(std::span<const char> bytes) : bytes_(bytes) {}
    uint64_t size() override { return bytes_.size(); }
    bool readAt(uint64_t offset, std::span<char> into) override;

private:
    std::span<const char> bytes_;
};

/// A file descriptor, not owned; its size is asked each time.
class FileSource : public ByteSource {
public:
    explicit FileSource(int fd) : fd_(fd) {}
    uint64_t size() override;
    bool readAt(uint64_t offset, std::span<char> into) override;

private:
    int fd_;
};

/// A plain file open for reading, closed when it goes.
class ReadableFile {
public:
    /// Opens `path` with O_NONBLOCK and checks with fstat that it is a plain file. Throws
    /// SessionError naming `path` and why ("is a FIFO, not a file", "cannot be opened: ...").
    explicit ReadableFile(const std::filesystem::path& path);
    /// The same, but nothing when there is no file of that name.
    static std::optional<ReadableFile> ifPresent(const std::filesystem::path& path);
    ~ReadableFile();
    ReadableFile(ReadableFile&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
    ReadableFile& operator=(ReadableFile&&) = delete;
    ReadableFile(const ReadableFile&) = delete;
    ReadableFile& operator=(const ReadableFile&) = delete;

    [[nodiscard]] int fd() const noexcept { return fd_; }

private:
    ReadableFile(const std::filesystem::path& path, bool mayBeMissing);
    int fd_ = -1;
};

} // namespace solvane::session
