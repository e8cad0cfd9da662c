#include "FFTX1.h"

#include "runtime/Checked.h"

#include <cmath>
#include <numbers>

namespace solvane {

FFTX1::FFTX1() = default;
FFTX1::~FFTX1() = default;

// Placeholder direct transform until the FFTW-backed component lands.
int32_t FFTX1::FFT(double& first, int32_t n) {
    if (n < 1 || n > MaxPoints)
        throw RunTimeError(RunTimeErrorKind::InvalidOperation, "FFTX1.FFT",
                           "the point count must lie in 1..256");
    double* data = &first;
    double out[2 * MaxPoints];
    for (int32_t k = 0; k < n; ++k) {
        double re = 0.0;
        double im = 0.0;
        for (int32_t t = 0; t < n; ++t) {
            const double angle = -2.0 * std::numbers::pi * k * t / n;
            re += data[2 * t] * std::cos(angle) - data[2 * t + 1] * std::sin(angle);
            im += data[2 * t] * std::sin(angle) + data[2 * t + 1] * std::cos(angle);
        }
        out[2 * k] = re;
        out[2 * k + 1] = im;
    }
    for (int32_t i = 0; i < 2 * n; ++i)
        data[i] = out[i];
    return 0;
}

} // namespace solvane
