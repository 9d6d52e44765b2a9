#include "blocks/guarded.h"

#include <cfloat>
#include <cmath>

namespace svg {

float LpfStepFinite(LpfFirst& f, float x) noexcept {
    if (std::isfinite(LpfFirstStep(f, x))) {
        return f.Y;
    }
    f.Y = 0.0f;
    return 0.0f;
}

float IirStepFinite(IirFilter& f, float x) noexcept {
    const float y = IirFilterStep(f, x);
    if (std::isfinite(y)) {
        return y;
    }
    // Every history tap enters the output, so a finite output means finite histories.
    for (std::uint32_t i = 0; i < kIirMaxLen; ++i) {
        f.Xh[i] = 0.0f;
        f.Yh[i] = 0.0f;
    }
    f.Pos = 0;
    return 0.0f;
}

float Magnitude(float x, float y) noexcept {
    const float sum = x * x + y * y;
    if (sum > FLT_MAX) {
        // The squares overflow single precision: the magnitude itself saturates instead.
        const double m = std::hypot(static_cast<double>(x), static_cast<double>(y));
        return m < static_cast<double>(FLT_MAX) ? static_cast<float>(m) : FLT_MAX;
    }
    return static_cast<float>(std::sqrt(static_cast<double>(sum)));
}

}  // namespace svg
