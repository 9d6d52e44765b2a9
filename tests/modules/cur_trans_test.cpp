// Current transformation: sequence separation by both methods, zero-sequence demodulation,
// the Hall filter selection, delays bounded by the buffer, and recovery from bad settings and
// measurements.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "pll_curtrans_pqcal_fixture.h"

namespace svg::testing::measurement {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kTs = 1e-4;

// Phasors of the three sequences, per unit and radians from the grid angle.
struct Currents {
    double pos = 0.0, pos_phase = 0.0;
    double neg = 0.0, neg_phase = 0.0;
    double zero = 0.0, zero_phase = 0.0;
};

class CurTransTest : public Bench {
  protected:
    // `ticks` steps of a 50 Hz grid whose angle the module reads as grid_theta.
    void Drive(int ticks, const Currents& c) {
        Run(ticks, [&](int) {
            theta_ = static_cast<float>(turns_);
            const double x = 2.0 * kPi * turns_ + c.zero_phase;
            const auto zero = static_cast<float>(c.zero * std::cos(x));
            i_ = Sum(
                Sum(PhaseSet(c.pos, turns_, c.pos_phase), PhaseSet(c.neg, turns_, c.neg_phase, -1)),
                {zero, zero, zero});
            turns_ = std::fmod(turns_ + 50.0 * kTs, 1.0);
        });
    }

    // Sequence feedback of the phasors: B cos phi, B sin phi for the positive sequence in the
    // +theta frame, B cos phi, -B sin phi for the negative sequence in the -theta frame.
    void ExpectSequences(const Currents& c, double tol = 2e-3) {
        EXPECT_NEAR(ct_->set_Idpos_fbk, c.pos * std::cos(c.pos_phase), tol);
        EXPECT_NEAR(ct_->set_Iqpos_fbk, c.pos * std::sin(c.pos_phase), tol);
        EXPECT_NEAR(ct_->set_Idneg_fbk, c.neg * std::cos(c.neg_phase), tol);
        EXPECT_NEAR(ct_->set_Iqneg_fbk, -c.neg * std::sin(c.neg_phase), tol);
    }

    double turns_ = 0.0;
};

TEST_F(CurTransTest, RegistersItsSignalsInOrderWithTheirDefaults) {
    EXPECT_STREQ(ct_->hdr.type_name, "CURTRANS");
    const std::vector<std::string> params = {
        "parm_curtrans_wc_lpf", "parm_HALL_lpf_sel", "parm_HALL_wc_lpf", "ena_HALL_lpf_transient",
        "parm_HALL_wc_lpf_kp",  "parm_transtype_i",  "parm_IZero_wc_lpf"};
    const std::vector<std::string> vars = {"set_Idpos_fbk",
                                           "set_Iqpos_fbk",
                                           "set_Idneg_fbk",
                                           "set_Iqneg_fbk",
                                           "set_Idzero_fbk",
                                           "set_Iqzero_fbk",
                                           "set_Id_mix",
                                           "set_Iq_mix",
                                           "Idpos_fil",
                                           "Iqpos_fil",
                                           "Idneg_fil",
                                           "Iqneg_fil",
                                           "temp_Ictrl_abc_pu[0]",
                                           "temp_Ictrl_abc_pu[1]",
                                           "temp_Ictrl_abc_pu[2]",
                                           "test1"};
    EXPECT_EQ(RegisteredNames(*env_->parameters, "CurTrans"), params);
    EXPECT_EQ(RegisteredNames(*env_->variables, "CurTrans"), vars);
    EXPECT_EQ(ct_->parm_curtrans_wc_lpf, 220.0f);
    EXPECT_EQ(ct_->ena_HALL_lpf_transient, 1);
    EXPECT_EQ(ct_->parm_IZero_wc_lpf, 3140.0f);

    // The bank holds a first- and a second-order filter per component, designed at start-up
    // for the corner 12566 x 3 rad/s: a1 = (x - 2)/(x + 2) for the first order.
    const std::int32_t orders[kHallFilters] = {1, 1, 2, 2, 1, 1, 2, 2};
    const double x = 12566.0 * 3.0 * kTs;
    for (int k = 0; k < kHallFilters; ++k) {
        EXPECT_EQ(ct_->hall[k].Order, orders[k]) << k;
    }
    EXPECT_NEAR(ct_->hall[kHallDpos1].Den[1], (x - 2.0) / (x + 2.0), 1e-6);
}

struct SequenceCase {
    const char* name;
    std::uint8_t transtype;
    Currents currents;
};

class CurTransSequenceTest : public CurTransTest,
                             public ::testing::WithParamInterface<SequenceCase> {};

TEST_P(CurTransSequenceTest, SeparatesPositiveAndNegativeSequence) {
    ct_->parm_transtype_i = GetParam().transtype;
    Drive(5000, GetParam().currents);
    ExpectSequences(GetParam().currents);
    if (GetParam().currents.zero == 0.0) {
        EXPECT_NEAR(ct_->set_Idzero_fbk, 0.0, 1e-5);
        EXPECT_NEAR(ct_->set_Iqzero_fbk, 0.0, 1e-5);
    }
}

Currents Positive(double b, double phi) { return {b, phi, 0.0, 0.0, 0.0, 0.0}; }
Currents Negative(double b, double phi) { return {0.0, 0.0, b, phi, 0.0, 0.0}; }

INSTANTIATE_TEST_SUITE_P(
    Methods, CurTransSequenceTest,
    ::testing::Values(
        SequenceCase{"DoubleFramePositive", 0, Positive(1.0, 0.0)},
        SequenceCase{"QuarterDelayPositive", 1, Positive(1.0, 0.0)},
        SequenceCase{"DoubleFrameNegative", 0, Negative(1.0, 0.0)},
        SequenceCase{"QuarterDelayNegative", 1, Negative(1.0, 0.0)},
        SequenceCase{"DoubleFrameMixed", 0, {0.8, 0.5, 0.3, -1.0, 0.0, 0.0}},
        SequenceCase{"QuarterDelayMixed", 1, {0.8, 0.5, 0.3, -1.0, 0.0, 0.0}},
        SequenceCase{"DoubleFrameWithZeroSequence", 0, {0.5, -2.0, 0.2, 2.5, 0.4, 1.0}},
        SequenceCase{"QuarterDelayWithZeroSequence", 1, {0.5, -2.0, 0.2, 2.5, 0.4, 1.0}}),
    CaseName<SequenceCase>);

class CurTransZeroTest : public CurTransTest, public ::testing::WithParamInterface<double> {};

// Equal currents I0 cos(theta + phi) in the three phases: over a whole cycle the demodulated
// zero sequence averages I0 cos phi and I0 sin phi; it does not enter the dq components.
TEST_P(CurTransZeroTest, DemodulatesTheZeroSequenceAtTheFundamental) {
    const double phi = GetParam();
    const Currents c{0.0, 0.0, 0.0, 0.0, 0.5, phi};
    Drive(2000, c);
    double d = 0.0;
    double q = 0.0;
    for (int n = 0; n < 200; ++n) {  // one 50 Hz cycle
        Drive(1, c);
        d += ct_->set_Idzero_fbk / 200.0;
        q += ct_->set_Iqzero_fbk / 200.0;
        ASSERT_NEAR(ct_->set_Id_mix, 0.0, 1e-6);
        ASSERT_NEAR(ct_->set_Iq_mix, 0.0, 1e-6);
    }
    EXPECT_NEAR(d, 0.5 * std::cos(phi), 2e-3);
    EXPECT_NEAR(q, 0.5 * std::sin(phi), 2e-3);
    ExpectSequences({});
}

INSTANTIATE_TEST_SUITE_P(Phases, CurTransZeroTest, ::testing::Values(0.0, 0.7, -2.0, 3.0));

struct HallCase {
    const char* name;
    std::uint8_t sel;
    std::uint8_t ena_transient;
    std::uint8_t ffsw;
    int order;  // Butterworth order expected on the feedback, 0 for none
};

class CurTransHallTest : public CurTransTest, public ::testing::WithParamInterface<HallCase> {};

// From rest, a step of 1 per unit in d gives the unfiltered feedback 1 on the first step; a
// bilinear Butterworth low-pass passes its b0: x/(x + 2) for the first order and
// x^2/(x^2 + 2 sqrt(2) x + 4) for the second, with x = wc Ts.
TEST_P(CurTransHallTest, SelectedButterworthFilterActsOnTheSequenceFeedback) {
    const HallCase& c = GetParam();
    ct_->parm_HALL_lpf_sel = c.sel;
    ct_->ena_HALL_lpf_transient = c.ena_transient;
    ffsw_ = c.ffsw;
    theta_ = 0.0f;
    i_ = {1.0f, -0.5f, -0.5f};
    Ticks(1);
    const double x = 12566.0 * 3.0 * kTs;
    const double gains[3] = {1.0, x / (x + 2.0),
                             x * x / (x * x + 2.0 * std::numbers::sqrt2 * x + 4.0)};
    EXPECT_NEAR(ct_->set_Idpos_fbk, gains[c.order], 1e-5);
    EXPECT_NEAR(ct_->set_Idneg_fbk, gains[c.order], 1e-5);
    // Filters not selected are not stepped: their input histories stay empty.
    for (const int k : {kHallDpos1, kHallDpos2, kHallDneg1, kHallDneg2}) {
        EXPECT_EQ(ct_->hall[k].Xh[1], ct_->hall[k].Order == c.order ? 1.0f : 0.0f) << k;
    }
}

INSTANTIATE_TEST_SUITE_P(Selection, CurTransHallTest,
                         ::testing::Values(HallCase{"None", 0, 1, 0, 0},
                                           HallCase{"FirstOrder", 1, 1, 0, 1},
                                           HallCase{"SecondOrder", 2, 1, 0, 2},
                                           HallCase{"KeptDuringTransient", 2, 1, 1, 2},
                                           HallCase{"BypassedDuringTransient", 2, 0, 1, 0},
                                           HallCase{"NoTransientSecondOrder", 2, 0, 0, 2},
                                           HallCase{"SelectorThree", 3, 1, 0, 0},
                                           HallCase{"SelectorMax", 255, 1, 0, 0}),
                         CaseName<HallCase>);

struct DelayCase {
    const char* name;
    float freq;
    std::int32_t samples;  // expected whole-sample delay
};

class CurTransDelayTest : public CurTransTest, public ::testing::WithParamInterface<DelayCase> {};

// A ramp in alpha read back through the quarter-period delay: the delay is the longest the
// buffer holds for frequencies too low for it, none for unusable frequencies.
TEST_P(CurTransDelayTest, QuarterPeriodDelayStaysInsideTheBuffer) {
    ct_->parm_transtype_i = 1;
    freq_ = GetParam().freq;
    std::vector<float> alpha;
    for (int n = 0; n < 400; ++n) {
        const float x = 0.001f * static_cast<float>(n + 1);
        i_ = {x, -0.5f * x, -0.5f * x};
        Ticks(1);
        alpha.push_back(ct_->split.ab.alpha);
        ASSERT_EQ(ct_->split.alpha_delay.N, GetParam().samples);
        ASSERT_EQ(ct_->split.beta_delay.N, GetParam().samples);
        const int old = n - GetParam().samples;
        ASSERT_EQ(ct_->split.alpha_d, old >= 0 ? alpha[static_cast<std::size_t>(old)] : 0.0f)
            << "step " << n;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Frequencies, CurTransDelayTest,
    ::testing::Values(DelayCase{"Zero", 0.0f, 155}, DelayCase{"Tiny", 1e-3f, 155},
                      DelayCase{"TenHertz", 10.0f, 155}, DelayCase{"Negative", -50.0f, 0},
                      DelayCase{"NaN", kNaN, 0}, DelayCase{"Infinite", kInf, 0},
                      DelayCase{"MinusInfinite", -kInf, 0}, DelayCase{"Huge", 1e30f, 0}),
    CaseName<DelayCase>);

enum class CurTransInput { kCorner, kPhaseA, kPhases };

struct BadInputCase {
    const char* name;
    CurTransInput input;
    float value;
    std::uint8_t transtype;
    std::uint8_t sel;
};

class CurTransBadInputTest : public CurTransTest,
                             public ::testing::WithParamInterface<BadInputCase> {};

// A bad Hall corner only ever gives finite outputs; bad currents are forgotten once the
// currents are sane again.
TEST_P(CurTransBadInputTest, BadInputIsForgottenOnceItIsSane) {
    const BadInputCase& b = GetParam();
    const Currents c{0.9, 0.3, 0.1, -0.5, 0.2, 1.0};
    ct_->parm_transtype_i = b.transtype;
    ct_->parm_HALL_lpf_sel = b.sel;
    Drive(3000, c);
    for (int n = 0; n < 1000; ++n) {
        if (b.input == CurTransInput::kCorner) {
            ct_->parm_HALL_wc_lpf = b.value;
            Drive(1, c);
            ASSERT_TRUE(NonFinite(*env_->variables, "CurTrans").empty()) << "step " << n;
        } else {
            Run(1, [&](int) {
                i_.a = b.value;
                i_.b = b.input == CurTransInput::kPhases ? b.value : i_.b;
                i_.c = b.input == CurTransInput::kPhases ? b.value : i_.c;
            });
        }
        ASSERT_TRUE(ct_->split.alpha_delay.N >= 0 && ct_->split.alpha_delay.N <= 155);
    }
    ct_->parm_HALL_wc_lpf = 12566.0f;
    Drive(10000, c);
    ExpectSequences(c);
    EXPECT_TRUE(NonFinite(*env_->variables, "CurTrans").empty());
}

using enum CurTransInput;
INSTANTIATE_TEST_SUITE_P(
    Inputs, CurTransBadInputTest,
    ::testing::Values(BadInputCase{"CornerNaNFirstOrder", kCorner, kNaN, 0, 1},
                      BadInputCase{"CornerNaNSecondOrder", kCorner, kNaN, 1, 2},
                      BadInputCase{"CornerMinusInfinite", kCorner, -kInf, 0, 2},
                      BadInputCase{"CornerZero", kCorner, 0.0f, 0, 2},
                      BadInputCase{"CornerNegativeSecondOrder", kCorner, -12566.0f, 1, 2},
                      BadInputCase{"CornerHuge", kCorner, 1e38f, 0, 2},
                      BadInputCase{"PhaseNaN", kPhaseA, kNaN, 0, 0},
                      BadInputCase{"PhasesNaNQuarterDelay", kPhases, kNaN, 1, 0},
                      BadInputCase{"PhaseInfinite", kPhaseA, kInf, 0, 1},
                      BadInputCase{"PhaseInfiniteQuarterDelay", kPhaseA, -kInf, 1, 2},
                      BadInputCase{"PhaseHugeQuarterDelay", kPhaseA, 1e30f, 1, 1},
                      BadInputCase{"PhasesLargest", kPhases, FLT_MAX, 0, 2}),
    CaseName<BadInputCase>);

}  // namespace
}  // namespace svg::testing::measurement
