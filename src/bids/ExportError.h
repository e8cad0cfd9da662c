#pragma once
// A dataset that cannot be written, or a session that cannot be exported into one: the
// message says which file or folder and why, in words for the user.

#include <stdexcept>
#include <string>

namespace solvane::bids {

class ExportError : public std::runtime_error {
public:
    explicit ExportError(const std::string& message) : std::runtime_error(message) {}
};

} // namespace solvane::bids
