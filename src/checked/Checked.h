#pragma once
// Checked arithmetic for the values the program keeps in 16-bit integers, bounds-checked
// indexing of the fixed arrays, and checked floating-point results. Every failure throws
// RunTimeError; nothing here allocates on the success path.

#include "RunTimeError.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace solvane::checked {

[[noreturn]] void throwOverflow(const char* where);
[[noreturn]] void throwSubscript(const char* where, long long index, std::size_t size);
[[noreturn]] void throwFloatFault(const char* where, double value);
[[noreturn]] void throwDivisionByZero(const char* where);

/// A wider integer narrowed to 16 bits; outside -32768..32767 is an overflow.
inline int16_t to16(long long value, const char* where) {
    if (value < std::numeric_limits<int16_t>::min() || value > std::numeric_limits<int16_t>::max())
        throwOverflow(where);
    return static_cast<int16_t>(value);
}

/// Element `index` of a fixed array, with the index checked against its bounds.
template <typename T, std::size_t N>
inline T& at(T (&array)[N], long long index, const char* where) {
    if (index < 0 || static_cast<unsigned long long>(index) >= N)
        throwSubscript(where, index, N);
    return array[index];
}

/// A floating-point result checked right after it was computed: infinity is an overflow,
/// NaN an invalid operation.
template <typename F>
inline F result(F value, const char* where) {
    if (!std::isfinite(value))
        throwFloatFault(where, static_cast<double>(value));
    return value;
}

/// a / b with the divisor checked first (0 / 0 is an invalid operation, x / 0 a division by
/// zero), and the quotient checked like any other result.
template <typename F>
inline F divide(F a, F b, const char* where) {
    if (b == F(0)) {
        if (a == F(0) || std::isnan(a))
            throwFloatFault(where, std::numeric_limits<double>::quiet_NaN());
        throwDivisionByZero(where);
    }
    return result<F>(a / b, where);
}

} // namespace solvane::checked
