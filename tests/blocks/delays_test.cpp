#include "blocks/delays.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "blocks/numeric.h"

namespace svg {
namespace {

constexpr double kTwoPiD = 6.283185307179586;
constexpr float kTs = 1e-4f;

TEST(FracDelay, QuarterPeriodAtFiftyHertzIsExactlyNinetyDegrees) {
    FracDelay d;
    FracDelayCreate(d);
    std::vector<float> x;
    for (int n = 0; n < 600; ++n) {
        x.push_back(static_cast<float>(std::sin(kTwoPiD * 50.0 * n * 1e-4)));
        const float out = FracDelayStep(d, x.back(), 50.0f, kTs, 0.25f);
        if (n >= 50) {
            EXPECT_EQ(d.N, 50);
            ASSERT_EQ(out, x[n - 50]) << "sample " << n;  // 200 samples per period
            EXPECT_NEAR(out, -std::cos(kTwoPiD * 50.0 * n * 1e-4), 1e-6);
        }
    }
}

// At 40 Hz a quarter period is 62.5 samples: the output interpolates halfway between the
// samples 62 and 63 steps old, which for a sine is the delayed sine up to the interpolation
// error (w Ts)^2/8.
TEST(FracDelay, QuarterPeriodAtFortyHertzInterpolates) {
    FracDelay d;
    FracDelayCreate(d);
    for (int n = 0; n < 600; ++n) {
        const double t = n * 1e-4;
        const float out =
            FracDelayStep(d, static_cast<float>(std::sin(kTwoPiD * 40.0 * t)), 40.0f, kTs, 0.25f);
        if (n >= 63) {
            EXPECT_EQ(d.N, 62);
            ASSERT_NEAR(out, -std::cos(kTwoPiD * 40.0 * t), 1e-4) << "sample " << n;
        }
    }
}

struct OutOfRangeCase {
    const char* what;
    float freq;
    float ts;
    int expected_delay;  // whole samples after the limit
};

class FracDelayOutOfRange : public ::testing::TestWithParam<OutOfRangeCase> {};

// Delays the buffer cannot hold are limited to 0..155 samples; on a ramp input the delay
// reads directly as input minus output. ASan checks that no read leaves the buffer.
TEST_P(FracDelayOutOfRange, DelayIsLimitedToTheBuffer) {
    const OutOfRangeCase c = GetParam();
    FracDelay d;
    FracDelayCreate(d);
    for (int n = 0; n < 500; ++n) {
        const float out = FracDelayStep(d, static_cast<float>(n), c.freq, c.ts, 0.25f);
        ASSERT_GE(d.N, 0);
        ASSERT_LE(d.N, 155);
        if (n >= 160) {
            ASSERT_EQ(static_cast<float>(n) - out, static_cast<float>(c.expected_delay))
                << c.what << " sample " << n;
        }
    }
}

constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr float kNan = std::numeric_limits<float>::quiet_NaN();

INSTANTIATE_TEST_SUITE_P(
    Faults, FracDelayOutOfRange,
    ::testing::Values(OutOfRangeCase{"zero frequency", 0.0f, kTs, 155},
                      OutOfRangeCase{"10 Hz", 10.0f, kTs, 155},
                      OutOfRangeCase{"16.05 Hz, 155.8 samples", 16.05f, kTs, 155},
                      OutOfRangeCase{"negative frequency", -50.0f, kTs, 0},
                      OutOfRangeCase{"NaN frequency", kNan, kTs, 0},
                      OutOfRangeCase{"infinite frequency", kInf, kTs, 0},
                      OutOfRangeCase{"minus infinite frequency", -kInf, kTs, 0},
                      OutOfRangeCase{"zero sample time", 50.0f, 0.0f, 155},
                      OutOfRangeCase{"negative sample time", 50.0f, -kTs, 0},
                      OutOfRangeCase{"NaN sample time", 50.0f, kNan, 0},
                      OutOfRangeCase{"infinite sample time", 50.0f, kInf, 0}),
    [](const ::testing::TestParamInfo<OutOfRangeCase>& param) {
        return "case" + std::to_string(param.index);
    });

// Just inside the buffer the limit changes nothing: at 16.2 Hz the delay is 154.32 samples.
TEST(FracDelay, LongestDelaysInsideTheBufferInterpolate) {
    FracDelay d;
    FracDelayCreate(d);
    for (int n = 0; n < 400; ++n) {
        const float out = FracDelayStep(d, static_cast<float>(n), 16.2f, kTs, 0.25f);
        if (n >= 160) {
            ASSERT_NEAR(static_cast<float>(n) - out, 0.25 / 16.2 / 1e-4, 1e-3) << n;
        }
    }
}

TEST(RingDelay, DelaysByItsLengthAfterTheFill) {
    float storage[4] = {};
    RingDelay r{};
    RingDelayInit(r, storage, 4, -2.0f);
    for (int n = 0; n < 12; ++n) {
        const float out = RingDelayStep(r, static_cast<float>(n));
        EXPECT_EQ(out, n < 4 ? -2.0f : static_cast<float>(n - 4)) << "step " << n;
    }
}

TEST(RingDelay, LengthZeroOrOneIsAOneSampleDelayWithoutFill) {
    for (const std::uint32_t len : {0u, 1u}) {
        float storage[2] = {9.0f, 9.0f};
        RingDelay r{};
        RingDelayInit(r, storage, len, -2.0f);
        EXPECT_EQ(r.Len, 1u);
        EXPECT_EQ(RingDelayStep(r, 1.0f), 9.0f);
        EXPECT_EQ(RingDelayStep(r, 2.0f), 1.0f);
        EXPECT_EQ(storage[1], 9.0f);
    }
}

TEST(RingDelay, WithoutStorageGivesMinusOne) {
    RingDelay r{};
    RingDelayInit(r, nullptr, 4, 0.0f);
    EXPECT_EQ(r.Data, nullptr);
    EXPECT_EQ(RingDelayStep(r, 3.0f), -1.0f);
}

// The running sum equals the sum of the last Len inputs, counted afresh, after any number of
// steps; a NaN or overflowing sample spoils it only while the sample is in the window.
TEST(MovingSum, EqualsTheWindowSumAndRecoversFromBadSamples) {
    float storage[5];
    MovingSum s{};
    MovingSumInit(s, storage, 5);
    std::vector<float> x;
    for (int n = 0; n < 40; ++n) {
        float v = static_cast<float>(n % 7) * 0.25f;
        if (n == 12) {
            v = std::numeric_limits<float>::quiet_NaN();
        }
        if (n == 25) {
            v = 3e38f;
        }
        if (n == 26) {
            v = 3e38f;
        }
        x.push_back(v);
        const float sum = MovingSumStep(s, v);
        double window = 0.0;
        for (int k = std::max(0, n - 4); k <= n; ++k) {
            window += x[k];
        }
        if (std::isfinite(window) && std::fabs(window) < 1e38) {
            ASSERT_EQ(sum, static_cast<float>(window)) << n;
        } else {
            ASSERT_FALSE(std::isfinite(sum) && std::fabs(sum) < 1e38f) << n;
        }
    }
}

// A band limit whose magnitude is negative or NaN allows nothing; NaN values go to -mag.
TEST(LimitSym, BadMagnitudesAllowNothing) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        float x, mag, out;
    };
    const Case cases[] = {{0.7f, 0.5f, 0.5f},  {-0.7f, 0.5f, -0.5f}, {0.2f, 0.5f, 0.2f},
                          {0.7f, -0.5f, 0.0f}, {-0.7f, -0.5f, 0.0f}, {0.7f, nan, 0.0f},
                          {nan, 0.5f, -0.5f},  {1e30f, inf, 1e30f},  {-inf, 1.0f, -1.0f}};
    for (const Case& c : cases) {
        EXPECT_EQ(LimitSym(c.x, c.mag), c.out) << c.x << " within " << c.mag;
    }
}

}  // namespace
}  // namespace svg
