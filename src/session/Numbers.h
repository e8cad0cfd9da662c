#pragma once
// Numbers in the session files' text, written and read the same whatever the process's locale
// (std::to_chars / std::from_chars: always a point, never a comma), and blanks trimmed from
// the fixed-width fields of an EDF header.

#include <optional>
#include <string>
#include <string_view>

namespace solvane::session {

/// Writes `value` with exactly `decimals` decimals into [first, last) and returns the end, or
/// nullptr when it does not fit. Allocates nothing.
char* writeFixed(char* first, char* last, double value, int decimals) noexcept;
/// The same for a whole number.
char* writeInteger(char* first, char* last, long long value) noexcept;
/// `value` with exactly `decimals` decimals ("1.0039").
std::string fixed(double value, int decimals);
/// A whole number as text ("-12").
std::string integerText(long long value);
/// The shortest text that reads back as `value` ("255.5", "0.1").
std::string shortest(double value);

/// The whole of `text` as a finite number (a leading '+' allowed), or nothing.
std::optional<double> parseDecimal(std::string_view text) noexcept;
/// The whole of `text` as a whole number (a leading '+' allowed), or nothing.
std::optional<long long> parseInteger(std::string_view text) noexcept;

/// `text` without the blanks (and NULs) at either end.
std::string_view trimmed(std::string_view text) noexcept;

} // namespace solvane::session
