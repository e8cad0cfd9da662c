#include "Checked.h"

#include <string>

namespace solvane::checked {

void throwOverflow(const char* where) {
    throw RunTimeError(RunTimeErrorKind::Overflow, where,
                       "a value outside -32768..32767 does not fit a 16-bit integer");
}

void throwSubscript(const char* where, long long index, std::size_t size) {
    throw RunTimeError(RunTimeErrorKind::SubscriptOutOfRange, where,
                       "index " + std::to_string(index) + " is outside 0.." +
                           std::to_string(size - 1));
}

void throwFloatFault(const char* where, double value) {
    if (std::isnan(value))
        throw RunTimeError(RunTimeErrorKind::InvalidOperation, where,
                           "the result is not a number");
    throw RunTimeError(RunTimeErrorKind::Overflow, where, "the result is too large");
}

void throwDivisionByZero(const char* where) {
    throw RunTimeError(RunTimeErrorKind::DivisionByZero, where, {});
}

} // namespace solvane::checked
