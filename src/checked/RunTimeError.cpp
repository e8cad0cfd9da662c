#include "RunTimeError.h"

namespace solvane {

namespace {
std::string composeMessage(RunTimeErrorKind kind, const std::string& where,
                           const std::string& detail) {
    std::string message = RunTimeError::kindName(kind);
    if (!where.empty())
        message += " in " + where;
    if (!detail.empty())
        message += ": " + detail;
    return message;
}
} // namespace

RunTimeError::RunTimeError(RunTimeErrorKind kind, std::string where, std::string detail)
    : std::runtime_error(composeMessage(kind, where, detail)), kind_(kind),
      where_(std::move(where)), detail_(std::move(detail)) {}

const char* RunTimeError::kindName(RunTimeErrorKind kind) noexcept {
    switch (kind) {
    case RunTimeErrorKind::Overflow:
        return "Overflow";
    case RunTimeErrorKind::SubscriptOutOfRange:
        return "Subscript out of range";
    case RunTimeErrorKind::DivisionByZero:
        return "Division by zero";
    case RunTimeErrorKind::TypeMismatch:
        return "Type mismatch";
    case RunTimeErrorKind::InvalidOperation:
        return "Invalid floating-point operation";
    case RunTimeErrorKind::BadSetting:
        return "Invalid setting";
    }
    return "Run-time error";
}

} // namespace solvane
