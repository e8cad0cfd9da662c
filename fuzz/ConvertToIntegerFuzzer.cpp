// libFuzzer target for the conversion of settings text to a 16-bit integer
// (processINIFile::ConvertToInteger). The input is the text of one value.
//
// Any text either converts or raises RunTimeError, TypeMismatch or Overflow, and nothing
// else happens. The result is checked against a reference worked out another way: the
// digits read as one scaled integer, rounded to the nearest whole number with halves to
// even. Every converted value also survives a write and a read (FormatIniInteger, then
// ConvertToInteger again).

#include "config/processINIFile.h"
#include "checked/RunTimeError.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

using solvane::RunTimeError;
using solvane::RunTimeErrorKind;
namespace ini = solvane::processINIFile;

namespace {

[[noreturn]] void fail(const char* what, std::string_view text) {
    std::fprintf(stderr, "conversion fuzzer: %s\ntext (%zu bytes): \"%.*s\"\n", what, text.size(),
                 static_cast<int>(text.size()), text.data());
    std::abort();
}

struct Expected {
    std::optional<RunTimeErrorKind> error;
    int16_t value = 0;
};

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// What the text must give: blanks around, an optional sign, digits with an optional
// fraction, at least one digit.
Expected reference(std::string_view text) {
    const auto mismatch = Expected{RunTimeErrorKind::TypeMismatch};
    while (!text.empty() && isBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && isBlank(text.back()))
        text.remove_suffix(1);
    bool negative = false;
    if (!text.empty() && (text.front() == '+' || text.front() == '-')) {
        negative = text.front() == '-';
        text.remove_prefix(1);
    }
    const std::size_t point = text.find('.');
    std::string_view whole = text.substr(0, point);
    std::string_view fraction =
        point == std::string_view::npos ? std::string_view() : text.substr(point + 1);
    if (whole.empty() && fraction.empty())
        return mismatch;
    for (const char c : whole)
        if (!isDigit(c))
            return mismatch;
    for (const char c : fraction)
        if (!isDigit(c))
            return mismatch;

    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    if (whole.size() > 5)
        return {RunTimeErrorKind::Overflow};

    // The number as digits / 10^scale, with the fraction cut to 12 digits and whatever was
    // cut kept as a "more than that" flag; exact for deciding how to round.
    constexpr std::size_t KeptFractionDigits = 12;
    const bool cutNonZero = fraction.size() > KeptFractionDigits;
    if (cutNonZero)
        fraction = fraction.substr(0, KeptFractionDigits);
    int64_t digits = 0;
    int64_t scale = 1;
    for (const char c : whole)
        digits = digits * 10 + (c - '0');
    for (const char c : fraction) {
        digits = digits * 10 + (c - '0');
        scale *= 10;
    }
    int64_t quotient = digits / scale;
    const int64_t twiceRemainder = 2 * (digits % scale);
    if (twiceRemainder > scale || (twiceRemainder == scale && (cutNonZero || quotient % 2 == 1)))
        ++quotient;
    const int64_t value = negative ? -quotient : quotient;
    if (value < INT16_MIN || value > INT16_MAX)
        return {RunTimeErrorKind::Overflow};
    return {std::nullopt, static_cast<int16_t>(value)};
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const Expected expected = reference(text);

    int16_t value = 0;
    try {
        value = ini::ConvertToInteger(text, "fuzzed value");
    } catch (const RunTimeError& error) {
        if (!expected.error)
            fail("a number was refused", text);
        if (error.kind() != *expected.error)
            fail("the wrong kind of error was raised", text);
        return 0;
    }
    if (expected.error)
        fail("text that is no 16-bit number was converted", text);
    if (value != expected.value)
        fail("the converted value is wrong", text);
    if (ini::ConvertToInteger(ini::FormatIniInteger(value), "written value") != value)
        fail("a converted value does not survive a write and a read", text);
    return 0;
}
