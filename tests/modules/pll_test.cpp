// Phase-locked loop: lock, frequency tracking and limits, sequence separation by both methods,
// the one-cycle frequency averages, and recovery from bad settings and measurements.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <deque>
#include <limits>
#include <numeric>
#include <string>
#include <vector>

#include "pll_curtrans_pqcal_fixture.h"

namespace svg::testing::measurement {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kTs = 1e-4;

class PllTest : public Bench {
  protected:
    // Feeds `ticks` steps of a phase-continuous grid: `pos` per unit positive sequence at the
    // frequency freq(n) (Hz) plus `neg` per unit negative sequence at `neg_phase` radians
    // from it. turns_ is the positive-sequence angle of the next sample.
    template <class F>
    void DriveWith(int ticks, F&& freq, double pos = 1.0, double neg = 0.0,
                   double neg_phase = 0.0) {
        Run(ticks, [&](int n) {
            u_ = Sum(PhaseSet(pos, turns_, 0.0), PhaseSet(neg, turns_, neg_phase, -1));
            turns_ = std::fmod(turns_ + freq(n) * kTs, 1.0);
        });
    }
    void Drive(int ticks, double f, double pos = 1.0, double neg = 0.0, double neg_phase = 0.0) {
        DriveWith(
            ticks, [f](int) { return f; }, pos, neg, neg_phase);
    }

    // Locked on the positive sequence: d = magnitude, q = 0, the angle on the voltage's.
    void ExpectLocked(double f, double pos = 1.0, double tol = 2e-3) {
        EXPECT_NEAR(pll_->set_Udpos, pos, tol);
        EXPECT_NEAR(pll_->set_Uqpos, 0.0, tol);
        EXPECT_NEAR(pll_->set_Upos, pos, tol);
        EXPECT_NEAR(TurnDiff(pll_->set_grid_theta, turns_), 0.0, 2e-3);
        EXPECT_NEAR(pll_->set_grid_freq, f, 0.02);
        EXPECT_NEAR(pll_->set_w_GFL, f / fnom_, 1e-3);
    }

    // Invariants that hold whatever the inputs: the angle in [0, 1), the delays inside the
    // buffer, the averaged frequency inside its clamp.
    void ExpectBounded() {
        ASSERT_TRUE(pll_->set_grid_theta >= 0.0f && pll_->set_grid_theta < 1.0f)
            << pll_->set_grid_theta;
        ASSERT_GE(pll_->split.alpha_delay.N, 0);
        ASSERT_LE(pll_->split.alpha_delay.N, 155);
        ASSERT_GE(pll_->split.beta_delay.N, 0);
        ASSERT_LE(pll_->split.beta_delay.N, 155);
        if (pll_->parm_pll_freq_filtype != 1) {
            ASSERT_TRUE(pll_->set_grid_freq >= 40.0f && pll_->set_grid_freq <= 70.0f)
                << pll_->set_grid_freq;
        }
    }

    double turns_ = 0.3;  // starts a third of a turn away from the loop's angle
};

TEST_F(PllTest, RegistersItsSignalsInOrderWithTheirDefaults) {
    EXPECT_STREQ(pll_->hdr.type_name, "PLL");
    const std::vector<std::string> params = {
        "parm_pll_wc_lpf",       "parm_freqfil_wc_lpf", "parm_pll_kp",
        "parm_pll_ki",           "parm_pll_intg_lim",   "parm_pll_out_lim",
        "parm_pll_freq_filtype", "parm_PllParmGain",    "parm_transtype_u"};
    const std::vector<std::string> vars = {"set_Udpos",
                                           "set_Uqpos",
                                           "set_Udneg",
                                           "set_Uqneg",
                                           "set_Ud_mix",
                                           "set_Uq_mix",
                                           "set_Udpos_fil",
                                           "set_Uqpos_fil",
                                           "set_Udneg_fil",
                                           "set_Uqneg_fil",
                                           "set_Upos",
                                           "set_Uneg",
                                           "set_Upos_fil",
                                           "set_Uneg_fil",
                                           "set_grid_freq",
                                           "set_grid_theta",
                                           "set_w_GFL",
                                           "temp_err",
                                           "temp_grid_freq_pre",
                                           "temp_Uctrl_abc_pu[0]",
                                           "temp_Uctrl_abc_pu[1]",
                                           "temp_Uctrl_abc_pu[2]",
                                           "test1"};
    EXPECT_EQ(RegisteredNames(*env_->parameters, "PLL"), params);
    EXPECT_EQ(RegisteredNames(*env_->variables, "PLL"), vars);
    EXPECT_EQ(pll_->parm_freqfil_wc_lpf, 475.0f);
    EXPECT_EQ(pll_->parm_PllParmGain, 1.0f);
    EXPECT_EQ(pll_->parm_transtype_u, 1);

    // Start-up: the frequency starts at 50 Hz, the regulator record holds the settings.
    EXPECT_EQ(pll_->set_grid_freq, 50.0f);
    EXPECT_EQ(pll_->loop.Ts, kTask1);
    EXPECT_EQ(pll_->loop.Kp, 21.2f);
    EXPECT_EQ(pll_->loop.IntMin, -20.0f);
    int steps = 0;
    for (const TaskNode* n = env_->scheduler->lists[0]->first; n != nullptr; n = n->next) {
        steps += n->routine == &PLLStep && n->module == &pll_->hdr ? 1 : 0;
    }
    EXPECT_EQ(steps, 1);
}

struct LockCase {
    const char* name;
    std::uint8_t transtype;
    float fnom;
};

class PllLockTest : public PllTest, public ::testing::WithParamInterface<LockCase> {};

TEST_P(PllLockTest, LocksOnABalancedSetAtTheNominalFrequency) {
    pll_->parm_transtype_u = GetParam().transtype;
    fnom_ = GetParam().fnom;
    Drive(10000, fnom_);
    ExpectLocked(fnom_);
    EXPECT_NEAR(pll_->set_Udneg, 0.0, 2e-3);
    EXPECT_NEAR(pll_->set_Uqneg, 0.0, 2e-3);
    EXPECT_NEAR(pll_->set_Uneg, 0.0, 2e-3);
    // The angle advances by f Ts turns per step.
    const float before = pll_->set_grid_theta;
    Drive(1, fnom_);
    EXPECT_NEAR(TurnDiff(pll_->set_grid_theta, before), fnom_ * kTs, 1e-5);
}

INSTANTIATE_TEST_SUITE_P(Methods, PllLockTest,
                         ::testing::Values(LockCase{"QuarterDelay50Hz", 1, 50.0f},
                                           LockCase{"DoubleFrame50Hz", 0, 50.0f},
                                           LockCase{"QuarterDelay60Hz", 1, 60.0f},
                                           LockCase{"DoubleFrame60Hz", 0, 60.0f}),
                         CaseName<LockCase>);

struct SeparationCase {
    const char* name;
    std::uint8_t transtype;
    double pos;
    double neg;
    double neg_phase;  // radians
};

class PllSeparationTest : public PllTest, public ::testing::WithParamInterface<SeparationCase> {};

TEST_P(PllSeparationTest, SplitsPositiveAndNegativeSequence) {
    const SeparationCase& c = GetParam();
    pll_->parm_transtype_u = c.transtype;
    Drive(10000, 50.0, c.pos, c.neg, c.neg_phase);
    // A negative-sequence set at phase phi from the positive one reads B cos phi, -B sin phi in
    // the -theta frame once theta follows the positive sequence.
    ExpectLocked(50.0, c.pos);
    EXPECT_NEAR(pll_->set_Uneg, c.neg, 2e-3);
    EXPECT_NEAR(pll_->set_Udneg, c.neg * std::cos(c.neg_phase), 2e-3);
    EXPECT_NEAR(pll_->set_Uqneg, -c.neg * std::sin(c.neg_phase), 2e-3);
    if (c.transtype != 0) {
        EXPECT_EQ(pll_->set_Upos_fil, pll_->set_Upos);
    } else {
        EXPECT_NEAR(pll_->set_Upos_fil, c.pos, 2e-3);
        EXPECT_NEAR(pll_->set_Uneg_fil, c.neg, 2e-3);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Methods, PllSeparationTest,
    ::testing::Values(SeparationCase{"QuarterDelayUnbalanced", 1, 1.0, 0.3, 0.4},
                      SeparationCase{"DoubleFrameUnbalanced", 0, 1.0, 0.3, 0.4},
                      SeparationCase{"QuarterDelayLowVoltage", 1, 0.6, 0.2, -1.2},
                      SeparationCase{"DoubleFrameLowVoltage", 0, 0.6, 0.2, -1.2}),
    CaseName<SeparationCase>);

// Without a positive sequence the loop has nothing to lock on: the normalisation floor of
// 0.1 per unit and the clamp keep the regulator error within +-1 and the separation still
// sees the voltage as negative sequence.
TEST_F(PllTest, PureNegativeSequenceReadsAsNegativeWithTheErrorClamped) {
    for (const std::uint8_t method : {1, 0}) {
        SCOPED_TRACE(static_cast<int>(method));
        pll_->parm_transtype_u = method;
        for (int n = 0; n < 5000; ++n) {
            Drive(1, 50.0, 0.0, 1.0);
            ASSERT_LE(std::fabs(pll_->loop.P), pll_->parm_pll_kp);
            ExpectBounded();
        }
        EXPECT_GT(pll_->set_Uneg, 0.9f);
        EXPECT_LT(pll_->set_Upos, 0.25f);
    }
}

TEST_F(PllTest, FollowsAFrequencyStep) {
    Drive(5000, 50.0);
    for (const double f : {52.0, 47.0}) {
        SCOPED_TRACE(f);
        Drive(10000, f);
        ExpectLocked(f, 1.0, 5e-3);
        EXPECT_NEAR(pll_->temp_grid_freq_pre, f, 0.05);
    }
}

TEST_F(PllTest, RegulatorOutputSaturatesAtNominalPlusItsLimit) {
    float highest = 0.0f;
    float lowest = 100.0f;
    DriveWith(10000, [&](int n) {
        if (n == 0) {
            return 65.0;  // nothing computed yet
        }
        highest = std::max(highest, pll_->temp_grid_freq_pre);
        lowest = std::min(lowest, pll_->temp_grid_freq_pre);
        return 65.0;
    });
    EXPECT_EQ(highest, 60.0f);
    EXPECT_GE(lowest, 40.0f);
}

struct ClampCase {
    const char* name;
    double target;  // Hz, reached by a 1 s ramp from 50 Hz
    std::uint8_t filtype;
    float expected;
    float tol;
};

class PllClampTest : public PllTest, public ::testing::WithParamInterface<ClampCase> {};

TEST_P(PllClampTest, AveragedFrequencyStaysWithin40To70Hz) {
    const ClampCase& c = GetParam();
    pll_->parm_transtype_u = 0;
    pll_->parm_pll_out_lim = 40.0f;
    pll_->parm_pll_intg_lim = 40.0f;
    pll_->parm_pll_freq_filtype = c.filtype;
    DriveWith(15000, [&](int n) { return 50.0 + (c.target - 50.0) * std::min(n * 1e-4, 1.0); });
    EXPECT_NEAR(pll_->temp_grid_freq_pre, c.target, 0.1);
    EXPECT_NEAR(pll_->set_grid_freq, c.expected, c.tol);
}

INSTANTIATE_TEST_SUITE_P(Limits, PllClampTest,
                         ::testing::Values(ClampCase{"AboveClamped", 80.0, 0, 70.0f, 0.0f},
                                           ClampCase{"BelowClamped", 30.0, 0, 40.0f, 0.0f},
                                           ClampCase{"FilterAbove", 80.0, 1, 80.0f, 0.1f},
                                           ClampCase{"FilterBelow", 30.0, 1, 30.0f, 0.1f}),
                         CaseName<ClampCase>);

struct WindowCase {
    const char* name;
    float fnom;
    bool blended;  // 166 2/3-sample average of the 60 Hz windows, else the 200-sample window
};

class PllWindowTest : public PllTest, public ::testing::WithParamInterface<WindowCase> {};

// Held at the nominal frequency (zero-voltage ride-through), the filtered frequency w rises
// from 0 to the nominal value; the output must equal a direct average of the last w values,
// with the windows' initial fills counted as earlier samples.
TEST_P(PllWindowTest, AveragesOneNominalCycleOfTheFilteredFrequency) {
    const WindowCase& c = GetParam();
    fnom_ = c.fnom;
    zvrt_ = 1;
    std::deque<double> hist60(167, 60.0);
    std::deque<double> hist50(200, 50.0);
    auto mean_of_last = [](const std::deque<double>& h, std::size_t n) {
        return std::accumulate(h.end() - static_cast<std::ptrdiff_t>(n), h.end(), 0.0) /
               static_cast<double>(n);
    };
    for (int n = 0; n < 600; ++n) {
        Ticks(1);
        ASSERT_EQ(pll_->temp_grid_freq_pre, c.fnom);
        const double w = pll_->freq_lpf.Y;
        double ref = 0.0;
        if (c.blended) {
            hist60.pop_front();
            hist60.push_back(w);
            ref = 2.0 / 3.0 * mean_of_last(hist60, 167) + 1.0 / 3.0 * mean_of_last(hist60, 166);
        } else {
            hist50.pop_front();
            hist50.push_back(w);
            ref = mean_of_last(hist50, 200);
        }
        ASSERT_NEAR(pll_->set_grid_freq, std::clamp(ref, 40.0, 70.0), 1e-3) << "step " << n;
    }
    EXPECT_NEAR(pll_->set_grid_freq, c.fnom, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(Nominal, PllWindowTest,
                         ::testing::Values(WindowCase{"Sixty", 60.0f, true},
                                           WindowCase{"SixtyAndAHalf", 60.5f, true},
                                           WindowCase{"JustBelowSixty", 59.99f, false},
                                           WindowCase{"SixtyOne", 61.0f, false},
                                           WindowCase{"Fifty", 50.0f, false}),
                         CaseName<WindowCase>);

TEST_F(PllTest, ZeroVoltageRideThroughHoldsTheNominalFrequency) {
    Drive(3000, 50.0);
    zvrt_ = 1;
    fnom_ = 55.0f;
    for (int n = 0; n < 100; ++n) {
        const float before = pll_->set_grid_theta;
        Drive(1, 50.0);
        ASSERT_EQ(pll_->temp_grid_freq_pre, 55.0f);
        ASSERT_EQ(pll_->loop.Out, 0.0f);
        ASSERT_EQ(pll_->loop.I, 0.0f);
        ASSERT_NEAR(TurnDiff(pll_->set_grid_theta, before), 55.0 * kTs, 1e-6);
    }
    zvrt_ = 0;
    fnom_ = 50.0f;
    Drive(10000, 50.0);
    ExpectLocked(50.0);
}

enum class PllInput { kNominal, kKp, kKi, kGains, kPhaseA, kPhases };

struct BadInputCase {
    const char* name;
    PllInput input;
    float value;
    std::uint8_t transtype;
    std::uint8_t filtype;
};

class PllBadInputTest : public PllTest, public ::testing::WithParamInterface<BadInputCase> {};

// While an input is bad the angle stays in [0, 1), the delays inside their buffer and the
// averaged frequency inside its clamp; once it is sane again the loop locks as before.
TEST_P(PllBadInputTest, BadInputKeepsOutputsBoundedAndTheLoopRelocksAfterwards) {
    const BadInputCase& c = GetParam();
    pll_->parm_transtype_u = c.transtype;
    pll_->parm_pll_freq_filtype = c.filtype;
    Drive(3000, 50.0);
    const bool gains =
        c.input == PllInput::kKp || c.input == PllInput::kKi || c.input == PllInput::kGains;
    fnom_ = c.input == PllInput::kNominal ? c.value : 50.0f;
    pll_->parm_pll_kp = gains && c.input != PllInput::kKi ? c.value : 21.2f;
    pll_->parm_pll_ki = gains && c.input != PllInput::kKp ? c.value : 1413.7f;
    for (int n = 0; n < 2000; ++n) {
        if (c.input == PllInput::kPhaseA || c.input == PllInput::kPhases) {
            Run(1, [&](int) {
                u_.a = c.value;
                u_.b = c.input == PllInput::kPhases ? c.value : u_.b;
                u_.c = c.input == PllInput::kPhases ? c.value : u_.c;
            });
        } else {
            Drive(1, 50.0);
        }
        ExpectBounded();
        ASSERT_TRUE(std::isfinite(pll_->loop.I));
        if (fnom_ == 0.0f) {
            ASSERT_EQ(pll_->set_w_GFL, 1e10f);
        }
    }
    fnom_ = 50.0f;
    pll_->parm_pll_kp = 21.2f;
    pll_->parm_pll_ki = 1413.7f;
    Drive(20000, 50.0);
    ExpectLocked(50.0);
    EXPECT_TRUE(NonFinite(*env_->variables, "PLL").empty());
}

using enum PllInput;
INSTANTIATE_TEST_SUITE_P(
    Inputs, PllBadInputTest,
    ::testing::Values(BadInputCase{"NominalZero", kNominal, 0.0f, 1, 0},
                      BadInputCase{"NominalZeroFilterOutput", kNominal, 0.0f, 1, 1},
                      BadInputCase{"NominalNegative", kNominal, -50.0f, 1, 0},
                      BadInputCase{"NominalNaN", kNominal, kNaN, 1, 0},
                      BadInputCase{"NominalNaNFilterOutput", kNominal, kNaN, 1, 1},
                      BadInputCase{"NominalInfinite", kNominal, kInf, 1, 0},
                      BadInputCase{"NominalLargest", kNominal, FLT_MAX, 1, 0},
                      BadInputCase{"KpNaN", kKp, kNaN, 1, 0},
                      BadInputCase{"KiInfinite", kKi, kInf, 1, 0},
                      BadInputCase{"GainsHuge", kGains, 1e38f, 1, 0},
                      BadInputCase{"GainsNegative", kGains, -100.0f, 0, 0},
                      BadInputCase{"PhaseNaN", kPhaseA, kNaN, 1, 0},
                      BadInputCase{"PhasesNaNDoubleFrame", kPhases, kNaN, 0, 0},
                      BadInputCase{"PhaseInfinite", kPhaseA, kInf, 1, 0},
                      BadInputCase{"PhaseHugeDoubleFrame", kPhaseA, 1e30f, 0, 0},
                      BadInputCase{"PhasesLargest", kPhases, FLT_MAX, 1, 0}),
    CaseName<BadInputCase>);

}  // namespace
}  // namespace svg::testing::measurement
