#pragma once
// A session file that cannot be written, or read as a session: the message says which file
// and why, in words for the user.

#include <stdexcept>
#include <string>

namespace solvane::session {

class SessionError : public std::runtime_error {
public:
    explicit SessionError(const std::string& message, int code = 0)
        : std::runtime_error(message), code_(code) {}
    /// The system's error number, where one is known (ENOSPC for a full disk), else 0.
    [[nodiscard]] int code() const noexcept { return code_; }

private:
    int code_;
};

} // namespace solvane::session
