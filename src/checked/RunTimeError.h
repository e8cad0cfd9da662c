#pragma once
// The one exception type for run-time faults: a value that does not fit, an index outside
// its bounds, a floating-point result that is not a number, text that is not a number.
// It carries the kind of fault and where it happened; the main window's top-level handler
// silences the device, shows the message and ends the program.

#include <stdexcept>
#include <string>

namespace solvane {

enum class RunTimeErrorKind {
    Overflow,
    SubscriptOutOfRange,
    DivisionByZero,
    TypeMismatch,
    InvalidOperation,
    BadSetting, ///< a settings value that converts but that the program cannot run with
};

class RunTimeError : public std::runtime_error {
public:
    /// `where` names the procedure or value; `detail` is an optional plain-language sentence.
    RunTimeError(RunTimeErrorKind kind, std::string where, std::string detail = {});

    [[nodiscard]] RunTimeErrorKind kind() const noexcept { return kind_; }
    [[nodiscard]] const std::string& where() const noexcept { return where_; }
    [[nodiscard]] const std::string& detail() const noexcept { return detail_; }

    /// "Overflow", "Subscript out of range", ... as shown to the user.
    static const char* kindName(RunTimeErrorKind kind) noexcept;

private:
    RunTimeErrorKind kind_;
    std::string where_;
    std::string detail_;
};

} // namespace solvane
