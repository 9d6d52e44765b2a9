#include "blocks/transforms.h"

#include <cmath>

namespace svg {
namespace {

// Trigonometric functions are evaluated in double precision and rounded back.
float Cos(float t) noexcept { return static_cast<float>(std::cos(static_cast<double>(t))); }
float Sin(float t) noexcept { return static_cast<float>(std::sin(static_cast<double>(t))); }

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
    return {(2.0f * x.a - x.b - x.c) * 0.33333334f, (x.b - x.c) * 0.57735026f};
}

Abc InvClarke(const AlphaBeta& x) noexcept {
    return {x.alpha, (x.alpha - 1.7320508f * x.beta) * -0.5f,
            (x.alpha + 1.7320508f * x.beta) * -0.5f};
}

float ParkD(const Abc& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return 0.6666667f * (x.a * Cos(t.a) + x.b * Cos(t.b) + x.c * Cos(t.c));
}

float ParkQ(const Abc& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return -0.6666667f * (x.a * Sin(t.a) + x.b * Sin(t.b) + x.c * Sin(t.c));
}

Dq ParkAlphaBeta(const AlphaBeta& x, float theta) noexcept {
    const float t = kTwoPi * theta;
    const float c = Cos(t);
    const float s = Sin(t);
    return {x.alpha * c + x.beta * s, x.beta * c - x.alpha * s};
}

Abc InvParkAbc(const Dq& x, float theta) noexcept {
    const PhaseAngles t = Angles(theta);
    return {x.d * Cos(t.a) - x.q * Sin(t.a), x.d * Cos(t.b) - x.q * Sin(t.b),
            x.d * Cos(t.c) - x.q * Sin(t.c)};
}

}  // namespace svg
