// Voltage ride-through: entry and delayed exit of both directions, the injection of each
// mode with its limits, the minimum magnitude, the pre-fault lock, and bad settings and
// measurements.
#include <gtest/gtest.h>

#include <cmath>
#include <deque>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "reference_chain_fixture.h"

namespace svg::testing::refchain {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// Host channels of the ride-through settings used below.
constexpr int kChVrtMode = 54;
constexpr int kChUneglim = 55;
constexpr int kChIqMin = 83;

class RideThrough : public ChainBench {
  protected:
    void SetUp() override {
        ChainBench::SetUp();
        Commands(true, true);
    }
    // Holds the voltage for `ticks` ticks.
    void Hold(float u, int ticks) {
        upos_ = u;
        Ticks(ticks);
    }
    // Steady reference `iq` long enough to fill both lock windows.
    void PreFault(float iq) {
        iq_ss_ = iq;
        Hold(1.0f, 300);
    }
};

// One phase of a detection scenario: the voltage, how long it is held, and the flags after.
struct Phase {
    float u;
    int ticks;
    int hvrt;
    int lvrt;
};
struct DetectionCase {
    std::string name;
    bool deblocked;
    std::vector<Phase> phases;
};

class Detection : public RideThrough, public ::testing::WithParamInterface<DetectionCase> {};

TEST_P(Detection, EntersAtOnceAndLeavesAfterTheExitDelay) {
    const DetectionCase& c = GetParam();
    Commands(c.deblocked, true);
    int n = 0;
    for (const Phase& p : c.phases) {
        Hold(p.u, p.ticks);
        EXPECT_EQ(vrt_->flg_HVRT_mod, p.hvrt) << "phase " << n << " at " << p.u;
        EXPECT_EQ(vrt_->flg_LVRT_mod, p.lvrt) << "phase " << n << " at " << p.u;
        ++n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    RideThrough, Detection,
    ::testing::Values(
        // 1.12 is not above the entry level; 1.105 is still above the exit level; from the
        // last high step the exit takes 100 steps (10000 counter units).
        DetectionCase{"HighVoltage",
                      true,
                      {{1.0f, 5, 0, 0},
                       {1.12f, 50, 0, 0},
                       {1.13f, 1, 1, 0},
                       {1.105f, 500, 1, 0},
                       {1.09f, 99, 1, 0},
                       {1.09f, 1, 0, 0}}},
        // 0.88 is low; from low 0.9 is still low, 0.905 is normal again.
        DetectionCase{"LowVoltage",
                      true,
                      {{1.0f, 5, 0, 0},
                       {0.885f, 50, 0, 0},
                       {0.88f, 1, 0, 1},
                       {0.9f, 500, 0, 1},
                       {0.905f, 99, 0, 1},
                       {0.905f, 1, 0, 0}}},
        // Entering the opposite direction ends the other state in the same step.
        DetectionCase{"DirectionChangesInOneStep",
                      true,
                      {{1.0f, 5, 0, 0}, {1.15f, 1, 1, 0}, {0.8f, 1, 0, 1}, {1.15f, 1, 1, 0}}},
        // The voltage counts as low until it first exceeds the low-voltage exit level.
        DetectionCase{"LowAtStartUntilTheVoltageIsUp",
                      true,
                      {{0.0f, 10, 0, 1}, {1.0f, 99, 0, 1}, {1.0f, 1, 0, 0}}},
        // Blocked, the latches run but the flags stay down.
        DetectionCase{
            "BlockedNoFlags", false, {{1.0f, 5, 0, 0}, {1.15f, 10, 0, 0}, {0.5f, 10, 0, 0}}}),
    CaseName<DetectionCase>);

struct InjectionCase {
    std::string name;
    int mode;         // parm_VRT_mode
    float upos;       // detection voltage during the event
    float uneg;       // negative-sequence voltage
    float pre;        // pre-fault reference
    float round_lim;  // round-limit factor of CurRefCal
    int uneglim;      // ena_Uneglim
    float expected;   // set_Iqpos_ref_sel during the event
};

class Injection : public RideThrough, public ::testing::WithParamInterface<InjectionCase> {};

TEST_P(Injection, ReplacesTheModeReferenceDuringTheEvent) {
    const InjectionCase& c = GetParam();
    float round_lim = c.round_lim;
    vrt_->I_round_lim = &round_lim;
    Channel(kChVrtMode, static_cast<float>(c.mode));
    Channel(kChUneglim, static_cast<float>(c.uneglim));
    PreFault(c.pre);
    EXPECT_NEAR(vrt_->set_Ipqref_lock, c.pre, 1e-5);
    iq_ss_ = 0.7f;  // whatever mode control asks during the event is replaced
    uneg_ = c.uneg;
    Hold(c.upos, 20);
    ASSERT_EQ(vrt_->flg_HVRT_mod + vrt_->flg_LVRT_mod, 1);
    EXPECT_NEAR(vrt_->set_Iqpos_ref_sel, c.expected, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(
    RideThrough, Injection,
    ::testing::Values(
        // 0.2 + 1.5 x (0.9 - 0.5) = 0.8, times the round limit.
        InjectionCase{"LowProportional", 1, 0.5f, 0.0f, 0.2f, 1.0f, 1, 0.8f},
        InjectionCase{"LowProportionalRoundLimited", 1, 0.5f, 0.0f, 0.2f, 0.5f, 1, 0.4f},
        // 0.2 + 5 x (1.1 - 1.2) = -0.3.
        InjectionCase{"HighProportional", 1, 1.2f, 0.0f, 0.2f, 1.0f, 1, -0.3f},
        InjectionCase{"LowFixed", 0, 0.5f, 0.0f, 0.2f, 0.5f, 1, 0.5f},
        InjectionCase{"HighFixed", 0, 1.2f, 0.0f, 0.2f, 1.0f, 1, -1.0f},
        // 0.5 + 1.5 x 0.3 = 0.95, limited to 1.1 x 0.6 / (0.6 + 0.2) = 0.825.
        InjectionCase{"NegativeSequenceReducesTheLimit", 1, 0.6f, 0.2f, 0.5f, 1.0f, 1, 0.825f},
        InjectionCase{"ReductionDisabled", 1, 0.6f, 0.2f, 0.5f, 1.0f, 0, 0.95f},
        // Below 0.15 per unit the limit is not reduced: 0.5 + 1.5 x 0.8 = 1.7 -> 1.1.
        InjectionCase{"NoReductionNearZeroVoltage", 1, 0.1f, 0.05f, 0.5f, 1.0f, 1, 1.1f},
        // A NaN negative-sequence voltage cannot raise or poison the limit: nothing passes
        // the reduced limit but the minimum magnitude.
        InjectionCase{"NaNNegativeSequenceAllowsNothing", 1, 0.6f, kNaN, 0.5f, 1.0f, 1, 0.05f},
        // A round limit of 0 leaves only the minimum magnitude.
        InjectionCase{"ZeroRoundLimit", 1, 0.5f, 0.0f, 0.2f, 0.0f, 1, 0.05f}),
    CaseName<InjectionCase>);

// Outside ride-through the mode reference passes, raised to the minimum magnitude; a bad
// minimum (negative, NaN) counts as 0 and never turns the sign.
TEST_F(RideThrough, MinimumMagnitudeOutsideRideThrough) {
    struct Case {
        float min;
        float in;
        float out;
    };
    const Case cases[] = {{0.05f, 0.0f, 0.05f},  {0.05f, -0.03f, -0.05f}, {0.05f, 0.3f, 0.3f},
                          {0.05f, kNaN, 0.05f},  {-0.1f, -0.2f, -0.2f},   {-0.1f, 0.02f, 0.02f},
                          {kNaN, -0.02f, -0.02f}};
    Hold(1.0f, 5);
    for (const Case& c : cases) {
        Channel(kChIqMin, c.min);
        iq_ss_ = c.in;
        Ticks(1);
        EXPECT_EQ(vrt_->set_Iqpos_ref_sel, c.out) << "min " << c.min << ", in " << c.in;
    }
}

// The lock is the mean of the reference between 200 and 101 steps ago; during an event it
// alternates between its last two values before the event.
TEST_F(RideThrough, PreFaultLockAveragesTheOlderHalfAndFreezesDuringTheEvent) {
    std::deque<double> history;
    upos_ = 1.0f;
    for (int n = 0; n < 450; ++n) {
        iq_ss_ = 0.001f * static_cast<float>(n % 300);
        history.push_back(iq_ss_);
        if (history.size() > 200) {
            history.pop_front();
        }
        Ticks(1);
        if (history.size() == 200) {
            const double older = std::accumulate(history.begin(), history.begin() + 100, 0.0);
            ASSERT_NEAR(vrt_->set_Ipqref_lock, older / 100.0, 1e-5) << "tick " << n;
        }
    }
    std::vector<float> before;
    for (int n = 0; n < 2; ++n) {
        Ticks(1);
        before.push_back(vrt_->set_Ipqref_lock);
    }
    ASSERT_NE(before[0], before[1]);
    upos_ = 0.5f;
    for (int n = 0; n < 6; ++n) {
        Ticks(1);
        EXPECT_EQ(vrt_->set_Ipqref_lock, before[n % 2]) << "event tick " << n;
    }
}

// The exit delay of 0.01 s is 100 steps; a NaN or negative delay exits at once, an infinite
// or huge one never; none of them is undefined.
TEST_F(RideThrough, ExitDelaySettingsOfEveryKindHaveADefinedResult) {
    struct Case {
        float delay;
        int ticks_to_clear;  // 0: not within 3000 ticks
    };
    const Case cases[] = {{0.01f, 100}, {0.0f, 1}, {kNaN, 1},  {-1.0f, 1},
                          {0.02f, 200}, {kInf, 0}, {1e30f, 0}, {4294.0f, 0}};
    for (const Case& c : cases) {
        vrt_->parm_HLVRT_delay_time = c.delay;
        Hold(1.0f, 300);
        Hold(0.5f, 5);
        ASSERT_EQ(vrt_->flg_LVRT_mod, 1);
        upos_ = 1.0f;
        int ticks = 0;
        while (vrt_->flg_LVRT_mod != 0 && ticks < 3000) {
            Ticks(1);
            ++ticks;
        }
        EXPECT_EQ(vrt_->flg_LVRT_mod != 0 ? 0 : ticks, c.ticks_to_clear) << c.delay;
        vrt_->flg_LVRT_latch = 0;
    }
}

// NaN and huge voltages and references: outputs stay finite and come back when the inputs do.
TEST_F(RideThrough, BadMeasurementsPassAndLeaveNoTrace) {
    PreFault(0.2f);
    const float bad[] = {kNaN, 1e38f, -1e38f, kInf};
    for (float b : bad) {
        upos_ = b;
        uneg_ = b;
        upcc_ = b;
        iq_ss_ = b;
        Ticks(3);
        EXPECT_TRUE(std::isfinite(vrt_->set_Iqpos_ref_sel)) << b;
        EXPECT_TRUE(std::isfinite(vrt_->Iq_lim_VRT)) << b;
    }
    uneg_ = 0.0f;
    upcc_ = 1.0f;
    PreFault(0.2f);
    EXPECT_EQ(vrt_->flg_HVRT_mod + vrt_->flg_LVRT_mod, 0);
    EXPECT_NEAR(vrt_->set_Ipqref_lock, 0.2f, 1e-5);
    EXPECT_EQ(vrt_->set_Iqpos_ref_sel, 0.2f);
    Hold(0.5f, 5);
    EXPECT_NEAR(vrt_->set_Iqpos_ref_sel, 0.8f, 1e-5);
}

}  // namespace
}  // namespace svg::testing::refchain
