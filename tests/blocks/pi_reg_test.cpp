#include "blocks/pi_reg.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

namespace svg {
namespace {

PiReg MakeReg(float int_max) {
    PiReg r{};
    r.Ts = 1e-4f;
    r.Kp = 2.0f;
    r.Ki = 50.0f;
    r.Kaw = 4.0f;
    r.IntMax = int_max;
    r.IntMin = -int_max;
    r.OutLim = 1.0f;
    return r;
}

TEST(PiReg, IntegratesLinearlyBelowTheLimits) {
    PiReg r = MakeReg(10.0f);
    const float e = 0.01f;
    for (int n = 1; n <= 100; ++n) {
        const float out = PiRegStep(r, e, 1);
        // Unsaturated: P = Kp e and I = n Ki Ts e.
        EXPECT_NEAR(out, 2.0f * e + n * 50.0f * 1e-4f * e, 1e-6f);
        EXPECT_EQ(r.Aw, 0.0f);
    }
}

struct SettleCase {
    float int_max;
    float expected_i;
};

class PiRegSettling : public ::testing::TestWithParam<SettleCase> {};

// A constant error that saturates the output drives the integrator to where e + Aw = 0,
// OutLim + e/Kaw - Kp e, unless the integrator limit is reached first.
TEST_P(PiRegSettling, AntiWindupHoldsTheIntegrator) {
    PiReg r = MakeReg(GetParam().int_max);
    const float e = 0.8f;
    for (int n = 0; n < 20000; ++n) {
        PiRegStep(r, e, 1);
    }
    EXPECT_EQ(r.Out, r.OutLim);
    EXPECT_LT(r.Aw, 0.0f);
    EXPECT_NEAR(r.I, GetParam().expected_i, 1e-5f);
}

INSTANTIATE_TEST_SUITE_P(Limits, PiRegSettling,
                         ::testing::Values(SettleCase{10.0f, 1.0f + 0.8f / 4.0f - 2.0f * 0.8f},
                                           SettleCase{0.3f, -0.3f}));

TEST(PiReg, DisableClearsAndRestartsFromAnEmptyIntegrator) {
    PiReg r = MakeReg(10.0f);
    for (int n = 0; n < 500; ++n) {
        PiRegStep(r, 0.8f, 1);
    }
    ASSERT_NE(r.Aw, 0.0f);
    EXPECT_EQ(PiRegStep(r, 0.8f, 0), 0.0f);
    EXPECT_EQ(r.I, 0.0f);
    EXPECT_EQ(r.Aw, 0.0f);
    EXPECT_EQ(r.U, 0.0f);

    PiReg fresh = MakeReg(10.0f);
    EXPECT_EQ(PiRegStep(r, 0.01f, 1), PiRegStep(fresh, 0.01f, 1));
}

TEST(PiReg, RecoversFromANanError) {
    PiReg r = MakeReg(10.0f);
    PiRegStep(r, std::numeric_limits<float>::quiet_NaN(), 1);
    EXPECT_EQ(r.I, r.IntMin);  // a NaN into a limit gives the lower limit
    EXPECT_EQ(r.Out, -r.OutLim);
    float out = 0.0f;
    for (int n = 0; n < 20000; ++n) {
        out = PiRegStep(r, 0.8f, 1);
    }
    EXPECT_EQ(out, r.OutLim);
    EXPECT_NEAR(r.I, 1.0f + 0.8f / 4.0f - 2.0f * 0.8f, 1e-5f);
}

}  // namespace
}  // namespace svg
