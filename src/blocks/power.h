// Instantaneous power of amplitude-invariant alpha-beta quantities, and the power factor.
#pragma once

#include "blocks/transforms.h"

namespace svg {

struct PowerPq {
    float p;  // 1.5 (A.alpha B.alpha + A.beta B.beta)
    float q;  // 1.5 (A.alpha B.beta - A.beta B.alpha); its sign follows the order of A and B
};

// With the current as A and the voltage as B, a current lagging the voltage gives q > 0.
PowerPq PowerAlphaBeta(const AlphaBeta& a, const AlphaBeta& b) noexcept;

// P / sqrt(P^2 + Q^2) limited to [-1, 1]; 1 when P and Q are both 0.
float PowerFactorCalc(float p, float q) noexcept;

}  // namespace svg
