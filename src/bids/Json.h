#pragma once
// A JSON value for the files of a BIDS dataset, built in code and written as text: objects
// keep their members in the order they were set (as the BIDS documents list them), numbers
// are written through std::to_chars (a point whatever the locale; a whole number without
// one), and every text is escaped, so that no label, path or damaged byte makes the file
// invalid: bytes that are not UTF-8 become U+FFFD.

#include <cstddef>
#include <string>
#include <string_view>
#include <utility>
#include <variant>
#include <vector>

namespace solvane::bids {

class Json {
public:
    /// null
    Json() = default;
    Json(std::nullptr_t) {}
    Json(bool value) : value_(value) {}
    Json(int value) : value_(static_cast<long long>(value)) {}
    Json(long long value) : value_(value) {}
    /// A number that is not finite is written as null.
    Json(double value) : value_(value) {}
    Json(std::string value) : value_(std::move(value)) {}
    Json(std::string_view value) : value_(std::string(value)) {}
    Json(const char* value) : value_(std::string(value)) {}

    static Json object();
    static Json array();

    /// Sets member `key` of an object, in place of one of that name or after the others.
    Json& set(std::string_view key, Json value);
    /// Appends `value` to an array.
    Json& add(Json value);
    /// The members or elements an object or array holds.
    [[nodiscard]] std::size_t size() const noexcept;

    /// The value as text, two blanks of indent a level, with a final line end.
    [[nodiscard]] std::string text() const;

private:
    struct Members {
        std::vector<std::pair<std::string, Json>> items;
    };
    struct Elements {
        std::vector<Json> items;
    };
    void write(std::string& out, int depth) const;

    std::variant<std::nullptr_t, bool, long long, double, std::string, Members, Elements> value_;
};

/// `text` as valid UTF-8: each byte that does not belong to a well-formed sequence becomes
/// U+FFFD.
std::string validUtf8(std::string_view text);

} // namespace solvane::bids
