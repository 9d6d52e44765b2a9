#include "blocks/power.h"

#include <cmath>

#include "blocks/numeric.h"

namespace svg {

PowerPq PowerAlphaBeta(const AlphaBeta& a, const AlphaBeta& b) noexcept {
    return {1.5f * (a.alpha * b.alpha + a.beta * b.beta),
            1.5f * (a.alpha * b.beta - a.beta * b.alpha)};
}

float PowerFactorCalc(float p, float q) noexcept {
    const float s = static_cast<float>(std::sqrt(static_cast<double>(p * p + q * q)));
    if (s == 0.0f) {
        return 1.0f;
    }
    return Limit(p / s, -1.0f, 1.0f);
}

}  // namespace svg
