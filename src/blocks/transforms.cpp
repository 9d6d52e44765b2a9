#include "blocks/transforms.h"

#include <cmath>

namespace svg {

float Cos(float t) noexcept { return static_cast<float>(std::cos(static_cast<double>(t))); }
float Sin(float t) noexcept { return static_cast<float>(std::sin(static_cast<double>(t))); }

namespace {

// Phase angles in radians of phases a, b, c for a frame angle theta in turns.
struct PhaseAngles {
    float a;
    float b;
    float c;
};

PhaseAngles Angles(float theta) noexcept {
    return {kTwoPi * theta, kTwoPi * (theta - kThirdTurn), kTwoPi * (theta + kThirdTurn)};
}

}  // namespace

AlphaBeta ClarkeAbc(const Abc& x) noexcept {
    return {(2.0f * x.a - x.b - x.c) * kThirdTurn, (x.b - x.c) * kRcpSqrt3};
}

#if !SVG_REDUCED_BUILD
Abc InvClarke(const AlphaBeta& x) noexcept {
    return {x.alpha, (x.alpha - kSqrt3 * x.beta) * -0.5f, (x.alpha + kSqrt3 * x.beta) * -0.5f};
}
#endif

float ParkD(const Abc& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return kTwoThirds * (x.a * Cos(t.a) + x.b * Cos(t.b) + x.c * Cos(t.c));
}

float ParkQ(const Abc& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return -kTwoThirds * (x.a * Sin(t.a) + x.b * Sin(t.b) + x.c * Sin(t.c));
}

#if !SVG_REDUCED_BUILD
Dq ParkAlphaBeta(const AlphaBeta& x, float theta) noexcept {
    const float t = kTwoPi * theta;
    const float c = Cos(t);
    const float s = Sin(t);
    return {x.alpha * c + x.beta * s, x.beta * c - x.alpha * s};
}
#endif

Abc InvParkAbc(const Dq& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return {x.d * Cos(t.a) - x.q * Sin(t.a), x.d * Cos(t.b) - x.q * Sin(t.b),
            x.d * Cos(t.c) - x.q * Sin(t.c)};
}

}  // namespace svg
