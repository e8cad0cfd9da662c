#pragma once
// JSON written as text, for the files of a session and of their export alike: a text is
// quoted with the escapes JSON requires (its bytes otherwise as they are, so that a path
// reads back exactly; a writer that needs valid UTF-8 makes it so first), and JsonWriter lays
// out an object or array with two blanks of indent a level, an empty one kept on its line.

#include "session/Numbers.h"

#include <cmath>
#include <optional>
#include <string>
#include <string_view>
#include <type_traits>

namespace solvane::session {

/// Appends `text` to `out` as a JSON string: quoted, with '"', '\\' and the control
/// characters escaped.
void appendJsonString(std::string& out, std::string_view text);

class JsonWriter {
public:
    /// Opens an object ('{') or an array ('[').
    void open(char bracket);
    /// Closes what open() opened last with its bracket ('}' or ']').
    void close(char bracket);
    /// The name of the next member of an object.
    void key(std::string_view name);
    /// The next element of an array.
    void item();
    /// A member whose text is `value`; null when it is empty.
    void text(std::string_view name, const std::string& value);
    /// A member whose number is `value`; null when there is none or it is not finite.
    template <typename Number>
    void number(std::string_view name, const std::optional<Number>& value) {
        key(name);
        if (!value)
            out_ += "null";
        else if constexpr (std::is_floating_point_v<Number>)
            out_ += std::isfinite(*value) ? shortest(*value) : "null";
        else
            out_ += integerText(*value);
    }
    /// The text written, with a final line end.
    std::string take() { return std::move(out_) + "\n"; }

private:
    void indent() { out_.append(2 * static_cast<std::size_t>(depth_), ' '); }
    std::string out_;
    int depth_ = 0;
    bool first_ = true;
};

} // namespace solvane::session
