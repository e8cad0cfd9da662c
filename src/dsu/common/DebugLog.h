#pragma once
// The bundled DSU's debug log: readable lines of its set-up calls, commands and shut-down,
// appended to the file SetDebugMode names. The log is this program's own while it holds a lock
// on the file, and starts afresh with each open() then; a second program beside it finds the
// lock taken and adds its lines to the end instead, so that neither cuts the other's log short.
// Each line is one write, so that the lines of two programs do not mix. A file that cannot be
// opened, or is no plain file, leaves the log off.

#include <string>

namespace solvane::dsusim {

class DebugLog {
public:
    DebugLog() = default;
    ~DebugLog();
    DebugLog(const DebugLog&) = delete;
    DebugLog& operator=(const DebugLog&) = delete;

    /// Logs into `file` from now on, the file kept open when it is the one already open.
    void open(const std::string& file);
    /// Writes nothing until the next open().
    void pause() noexcept { on_ = false; }
    /// Adds `text` as one line; a write that fails turns the log off.
    void write(const std::string& text);

    [[nodiscard]] bool on() const noexcept { return on_; }
    /// Another program writes the same file, so that this one only adds to its end.
    [[nodiscard]] bool shared() const noexcept { return shared_; }

private:
    void close() noexcept;

    int fd_ = -1;         ///< appending; locked while the log is this program's own
    bool shared_ = false; ///< the lock was taken by another program
    bool on_ = false;
    std::string path_;
};

} // namespace solvane::dsusim
