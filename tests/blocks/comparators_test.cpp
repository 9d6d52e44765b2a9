#include "blocks/comparators.h"

#include <gtest/gtest.h>

#include <vector>

namespace svg {
namespace {

TEST(HystCmp, SwitchesOnAboveOnAndOffAtOrBelowOff) {
    // Up and down ramp through on = 1.0 and off = 0.95.
    const std::vector<float> x = {0.9f, 1.0f, 1.01f, 0.97f, 0.951f, 0.95f, 0.99f, 1.0f, 1.2f};
    const std::vector<bool> expected = {false, false, true, true, true, false, false, false, true};
    bool state = false;
    for (std::size_t n = 0; n < x.size(); ++n) {
        state = HystCmp(x[n], 1.0f, 0.95f, state);
        EXPECT_EQ(state, expected[n]) << "sample " << n;
    }
}

struct TonCase {
    int k;     // preset in time steps
    float dt;  // time step, s
};

class TonTimerDelay : public ::testing::TestWithParam<TonCase> {};

// A preset of k steps: the first non-zero output comes on call k + 1 after the edge.
TEST_P(TonTimerDelay, OutputRisesOnTheCallAfterThePreset) {
    const TonCase c = GetParam();
    std::int32_t prev = 0;
    float remaining = 0.0f;
    EXPECT_EQ(TonTimer(0, prev, c.k * c.dt, remaining, c.dt), 0);
    for (int call = 1; call <= c.k; ++call) {
        ASSERT_EQ(TonTimer(1, prev, c.k * c.dt, remaining, c.dt), 0) << "call " << call;
    }
    EXPECT_EQ(TonTimer(1, prev, c.k * c.dt, remaining, c.dt), 1);
    EXPECT_EQ(remaining, 0.0f);
    // Once running the output follows the input, falls included.
    EXPECT_EQ(TonTimer(0, prev, c.k * c.dt, remaining, c.dt), 0);
}

INSTANTIATE_TEST_SUITE_P(Presets, TonTimerDelay,
                         ::testing::Values(TonCase{1, 1e-4f}, TonCase{3, 1e-4f}, TonCase{8, 1e-4f},
                                           TonCase{50, 1e-3f}, TonCase{250, 2e-3f}));

TEST(TonTimer, NewEdgeWhileRunningReloads) {
    std::int32_t prev = 0;
    float remaining = 0.0f;
    const float dt = 1e-4f;
    const float preset = 3.0f * dt;
    TonTimer(1, prev, preset, remaining, dt);
    TonTimer(1, prev, preset, remaining, dt);
    TonTimer(0, prev, preset, remaining, dt);  // falls before the preset ran out
    for (int call = 1; call <= 3; ++call) {
        EXPECT_EQ(TonTimer(1, prev, preset, remaining, dt), 0) << "call " << call;
    }
    EXPECT_EQ(TonTimer(1, prev, preset, remaining, dt), 1);
}

TEST(TonTimer, PresetNotAboveTenMicrosecondsPassesThrough) {
    std::int32_t prev = 0;
    float remaining = 0.0f;
    EXPECT_EQ(TonTimer(1, prev, 1e-5f, remaining, 1e-4f), 1);
    EXPECT_EQ(TonTimer(0, prev, 0.0f, remaining, 1e-4f), 0);
    EXPECT_EQ(TonTimer(7, prev, 0.0f, remaining, 1e-4f), 7);
}

}  // namespace
}  // namespace svg
