#pragma once
// Why the set-up did not write or check what was chosen; the message says it in a sentence or
// two that a user can act on.

#include <stdexcept>
#include <string>

namespace solvane::setup {

class SetupError : public std::runtime_error {
public:
    enum class Reason {
        ProgramOpen, ///< Solvane has the settings file open and would write over the change
        Unwritable,  ///< a file or its folder cannot be written; it stays as it was
        Unreadable,  ///< a file is there but cannot be read as a profile
        Refused,     ///< the choice would not read back as chosen, or the DSU refuses it
    };
    SetupError(Reason reason, const std::string& message)
        : std::runtime_error(message), reason_(reason) {}
    [[nodiscard]] Reason reason() const noexcept { return reason_; }

private:
    Reason reason_;
};

} // namespace solvane::setup
