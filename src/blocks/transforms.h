// Amplitude-invariant three-phase coordinate transforms.
//
// Angles are in turns (fraction of one electrical cycle); each transform multiplies by 2*pi
// itself. Phase b lags phase a by a third of a turn and phase c leads it by a third, so the
// balanced positive-sequence set a = cos t, b = cos(t - 2pi/3), c = cos(t + 2pi/3) gives
// alpha = cos t, beta = sin t, d = 1 and q = 0. ParkAlphaBeta at -theta gives the
// negative-sequence frame.
#pragma once

#include "blocks/build.h"

namespace svg {

struct Abc {
    float a;
    float b;
    float c;
};

struct AlphaBeta {
    float alpha;
    float beta;
};

struct Dq {
    float d;
    float q;
};

// Single-precision constants of the three-phase arithmetic.
inline constexpr float kTwoPi = 6.2831855f;
inline constexpr float kThirdTurn = 0.33333334f;
inline constexpr float kTwoThirds = 0.6666667f;
inline constexpr float kSqrt2 = 1.4142135f;
inline constexpr float kSqrt3 = 1.7320508f;
inline constexpr float kRcpSqrt3 = 0.57735026f;

// Trigonometric functions of an angle in radians, evaluated in double precision and rounded
// back to single precision.
float Cos(float radians) noexcept;
float Sin(float radians) noexcept;

// alpha = (2a - b - c)/3, beta = (b - c)/sqrt(3).
AlphaBeta ClarkeAbc(const Abc& x) noexcept;
#if !SVG_REDUCED_BUILD  // the reduced controller's library has no inverse Clarke transform
// a = alpha, b = -(alpha - sqrt(3) beta)/2, c = -(alpha + sqrt(3) beta)/2.
Abc InvClarke(const AlphaBeta& x) noexcept;
#endif
// d = 2/3 (a cos t + b cos t- + c cos t+), t = 2 pi theta, t-/+ = 2 pi (theta -/+ 1/3).
float ParkD(const Abc& x, float theta) noexcept;
// q = -2/3 (a sin t + b sin t- + c sin t+).
float ParkQ(const Abc& x, float theta) noexcept;
#if !SVG_REDUCED_BUILD  // nor a Park transform of a stationary-frame vector
// d = alpha cos t + beta sin t, q = beta cos t - alpha sin t.
Dq ParkAlphaBeta(const AlphaBeta& x, float theta) noexcept;
#endif
// a = d cos t - q sin t, and likewise for b at t- and c at t+.
Abc InvParkAbc(const Dq& x, float theta) noexcept;

}  // namespace svg
