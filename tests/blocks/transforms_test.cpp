#include "blocks/transforms.h"

#include <gtest/gtest.h>

#include <cmath>

#include "blocks/power.h"

namespace svg {
namespace {

constexpr double kTwoPiD = 6.283185307179586;

// Balanced set of amplitude m at angle theta (turns); negative sequence swaps b and c.
Abc Balanced(double theta, double m = 1.0, bool negative = false) {
    const double t = kTwoPiD * theta;
    const float b = static_cast<float>(m * std::cos(t - kTwoPiD / 3.0));
    const float c = static_cast<float>(m * std::cos(t + kTwoPiD / 3.0));
    return {static_cast<float>(m * std::cos(t)), negative ? c : b, negative ? b : c};
}

constexpr float kTol = 2e-6f;
const float kAngles[] = {0.0f, 0.05f, 0.125f, 0.3f, 0.5f, 0.61f, 0.875f, 0.999f};

TEST(Transforms, BalancedSetGivesUnitDAndZeroQAtItsOwnAngle) {
    for (const float theta : kAngles) {
        const Abc x = Balanced(theta);
        EXPECT_NEAR(ParkD(x, theta), 1.0f, kTol) << theta;
        EXPECT_NEAR(ParkQ(x, theta), 0.0f, kTol) << theta;
        const AlphaBeta ab = ClarkeAbc(x);
        EXPECT_NEAR(ab.alpha, std::cos(kTwoPiD * theta), kTol) << theta;
        EXPECT_NEAR(ab.beta, std::sin(kTwoPiD * theta), kTol) << theta;
        const Dq dq = ParkAlphaBeta(ab, theta);
        EXPECT_NEAR(dq.d, 1.0f, kTol) << theta;
        EXPECT_NEAR(dq.q, 0.0f, kTol) << theta;
    }
}

TEST(Transforms, NegativeFrameSeesNegativeSequenceAsDcAndPositiveAsDoubleFrequency) {
    for (const float theta : kAngles) {
        const Dq neg = ParkAlphaBeta(ClarkeAbc(Balanced(theta, 1.0, true)), -theta);
        EXPECT_NEAR(neg.d, 1.0f, kTol) << theta;
        EXPECT_NEAR(neg.q, 0.0f, kTol) << theta;
        const Dq pos = ParkAlphaBeta(ClarkeAbc(Balanced(theta)), -theta);
        EXPECT_NEAR(pos.d, std::cos(2.0 * kTwoPiD * theta), kTol) << theta;
        EXPECT_NEAR(pos.q, std::sin(2.0 * kTwoPiD * theta), kTol) << theta;
    }
}

// Unbalanced triples with a zero-sequence part: the two routes to dq agree, and the inverse
// transforms undo the forward ones (the zero sequence is lost by Clarke, so it is removed
// from the reference).
const Abc kUnbalanced[] = {{0.3f, -1.2f, 0.7f}, {1.5f, 0.2f, 0.1f}, {-0.4f, -0.4f, 2.0f}};

TEST(Transforms, ClarkeThenParkAgreesWithDirectPark) {
    for (const Abc& x : kUnbalanced) {
        for (const float theta : kAngles) {
            const Dq dq = ParkAlphaBeta(ClarkeAbc(x), theta);
            EXPECT_NEAR(dq.d, ParkD(x, theta), 4e-6f);
            EXPECT_NEAR(dq.q, ParkQ(x, theta), 4e-6f);
        }
    }
}

TEST(Transforms, InverseTransformsUndoForwardOnes) {
    for (const Abc& x : kUnbalanced) {
        const float zero = (x.a + x.b + x.c) / 3.0f;
        const Abc back = InvClarke(ClarkeAbc(x));
        EXPECT_NEAR(back.a, x.a - zero, 4e-6f);
        EXPECT_NEAR(back.b, x.b - zero, 4e-6f);
        EXPECT_NEAR(back.c, x.c - zero, 4e-6f);
    }
    for (const float theta : kAngles) {
        const Dq dq{0.8f, -0.35f};
        const Abc abc = InvParkAbc(dq, theta);
        EXPECT_NEAR(ParkD(abc, theta), dq.d, 4e-6f);
        EXPECT_NEAR(ParkQ(abc, theta), dq.q, 4e-6f);
    }
}

// Power of amplitude-invariant vectors: p is the sum of the phase products, and for a current
// lagging the voltage by phi, (p, q) = 1.5 V I (cos phi, sin phi).
TEST(Power, ActiveAndReactivePowerOfBalancedSets) {
    const double v = 1.02;
    const double i = 0.6;
    for (const double phi : {0.0, 0.4, -1.1, 1.5707963}) {
        for (const float theta : {0.1f, 0.7f}) {
            const Abc u = Balanced(theta, v);
            const Abc c = Balanced(theta - phi / kTwoPiD, i);
            const PowerPq s = PowerAlphaBeta(ClarkeAbc(c), ClarkeAbc(u));
            EXPECT_NEAR(s.p, u.a * c.a + u.b * c.b + u.c * c.c, 4e-6f);
            EXPECT_NEAR(s.p, 1.5 * v * i * std::cos(phi), 4e-6);
            EXPECT_NEAR(s.q, 1.5 * v * i * std::sin(phi), 4e-6);
        }
    }
}

TEST(Power, PowerFactorStaysWithinPlusMinusOne) {
    struct Case {
        float p, q, pf;
    };
    const Case cases[] = {
        {0.0f, 0.0f, 1.0f},    {-3.0f, 0.0f, -1.0f},         {3.0f, 4.0f, 0.6f},
        {-3.0f, -4.0f, -0.6f}, {0.0f, 2.0f, 0.0f},           {1e-20f, 0.0f, 1.0f},
        {5.0f, 0.0f, 1.0f},    {std::nanf(""), 0.0f, -1.0f},  // NaN into the limit gives the lower
                                                              // limit
    };
    for (const Case& c : cases) {
        const float pf = PowerFactorCalc(c.p, c.q);
        EXPECT_NEAR(pf, c.pf, 1e-6f) << c.p << ", " << c.q;
        EXPECT_LE(std::abs(pf), 1.0f);
    }
}

}  // namespace
}  // namespace svg
