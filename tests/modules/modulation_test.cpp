// Modulation summation, phase DC balance and third-harmonic injection, stepped on their own
// records with every input slot aimed at a bench value.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <numbers>
#include <string>

#include "modules/InPhaseVolCtrl.h"
#include "modules/ModCal.h"
#include "modules/ThreeHarCtrl.h"
#include "support/registry_names.h"

namespace svg {
namespace {

using testing::CaseName;

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();

// A ModCal record with the contributions, DC voltage, base, direction and cell count of the
// bench: every phase gets `sum` split over its five contributions.
struct ModCalBench {
    float pos = 0, neg = 0, zero = 0, har = 0, threehar = 0;
    float udc = 0, base = 0, pwdir = 1, task = 1e-4f;
    std::uint32_t cells = 0;
    ModCal m{};
    ModCalBench() {
        m.mod_a_pos = m.mod_b_pos = m.mod_c_pos = &pos;
        m.mod_a_neg = m.mod_b_neg = m.mod_c_neg = &neg;
        m.mod_a_zero = m.mod_b_zero = m.mod_c_zero = &zero;
        m.mod_a_har = m.mod_b_har = m.mod_c_har = &har;
        m.threehar_a = m.threehar_b = m.threehar_c = &threehar;
        m.Udc_mean = &udc;
        m.Uvalve_base = &base;
        m.submodule_pwdir = &pwdir;
        m.Task1 = m.Task2 = m.Task3 = &task;
        m.cellnum = &cells;
        m.test2 = 1.0f;
    }
    float Step() {
        ModCalStep(&m.hdr);
        return m.set_mod_a_sum;
    }
};

struct ModCase {
    std::string name;
    float pos, neg, udc, base, pwdir, test2;
    std::uint32_t cells;
    float expected;
};

class ModulationIndex : public ::testing::TestWithParam<ModCase> {};

// The index is the per-unit voltage times the valve base over the phase's total DC voltage
// (cells times mean cell voltage), signed by the power direction and limited to +-1; a zero
// count or voltage saturates instead of faulting, and a NaN commands nothing.
TEST_P(ModulationIndex, IsVoltageOverTheClusterDcVoltage) {
    const ModCase& c = GetParam();
    ModCalBench b;
    b.pos = c.pos;
    b.neg = c.neg;
    b.udc = c.udc;
    b.base = c.base;
    b.pwdir = c.pwdir;
    b.cells = c.cells;
    b.m.test2 = c.test2;
    const float got = b.Step();
    EXPECT_FLOAT_EQ(got, c.expected);
    EXPECT_EQ(b.m.set_mod_b_sum, got);
    EXPECT_EQ(b.m.set_mod_c_sum, got);
    EXPECT_FALSE(std::isnan(b.m.set_mod_a_sum));
}

// 35 kV grid: valve base 35 kV * sqrt(2/3) = 28 577.5 V per unit; 40 cells at 800 V = 32 kV.
INSTANTIATE_TEST_SUITE_P(
    ModCal, ModulationIndex,
    ::testing::Values(
        ModCase{"RatedVoltage", 0.9f, 0.1f, 800, 28577.5f, 1, 1, 40, 28577.5f / 32000.0f},
        ModCase{"HalfVoltage", 0.25f, 0.25f, 800, 28577.5f, 1, 1, 40, 0.5f * 28577.5f / 32000.0f},
        ModCase{"ReversedPowerDirection", 1, 0, 800, 28577.5f, -1, 1, 40, -28577.5f / 32000.0f},
        ModCase{"OverModulationIsOne", 2, 0, 800, 28577.5f, 1, 1, 40, 1.0f},
        ModCase{"UnderModulationIsMinusOne", -2, 0, 800, 28577.5f, 1, 1, 40, -1.0f},
        ModCase{"ZeroCellsSaturate", 0.1f, 0, 800, 28577.5f, 1, 1, 0, 1.0f},
        ModCase{"ZeroDcVoltageSaturates", -0.1f, 0, 0, 28577.5f, 1, 1, 40, -1.0f},
        ModCase{"ZeroDcVoltageZeroSumIsZero", 0, 0, 0, 28577.5f, 1, 1, 40, 0.0f},
        ModCase{"Test2ZeroForcesZero", 0.9f, 0, 800, 28577.5f, 1, 0, 40, 0.0f},
        ModCase{"NaNSumCommandsNothing", kNaN, 0, 800, 28577.5f, 1, 1, 40, 0.0f},
        ModCase{"NaNDcVoltageCommandsNothing", 0.5f, 0, kNaN, 28577.5f, 1, 1, 40, 0.0f},
        ModCase{"InfiniteSumIsOne", kInf, 0, 800, 28577.5f, 1, 1, 40, 1.0f},
        ModCase{"ZeroTimesInfiniteBaseCommandsNothing", 0, 0, 800, kInf, 1, 1, 40, 0.0f}),
    CaseName<ModCase>);

// The contributions are added negative plus positive first, then zero, harmonic and third
// harmonic: with 1e8 and -1e8 cancelling first the small terms survive.
TEST(ModCal, AddsTheContributionsInTheirGrouping) {
    ModCalBench b;
    b.neg = 1e8f;
    b.pos = -1e8f;
    b.zero = 0.25f;
    b.har = 0.125f;
    b.threehar = 0.0625f;
    b.udc = 1;
    b.base = 1;
    b.cells = 1;
    b.Step();
    EXPECT_EQ(b.m.sum_a, 0.4375f);
    EXPECT_EQ(b.m.test1, 1.0f);
}

struct BalanceCase {
    std::string name;
    float numerator, divisor, kp, pwdir, ratio, limited;
};

class BalanceCoefficient : public ::testing::TestWithParam<BalanceCase> {};

// Coefficient = rcp(Udccmd) * kp * direction * limit(numerator / (sqrt 2 divisor), +-2).
TEST_P(BalanceCoefficient, IsTheLimitedRatioScaledByTheCommand) {
    const BalanceCase& c = GetParam();
    float num[3] = {c.numerator, 2 * c.numerator, -c.numerator};
    float div[3] = {c.divisor, c.divisor, c.divisor};
    float rcp = 1.0f / 1050.0f, pwdir = c.pwdir, task = 1e-4f;
    InPhaseVolCtrl m{};
    for (int k = 0; k < 3; ++k) {
        m.numerator[k] = &num[k];
        m.divisor[k] = &div[k];
    }
    m.rcp_Udccmd = &rcp;
    m.submodule_pwdir = &pwdir;
    m.Task1 = m.Task2 = m.Task3 = &task;
    m.parm_kp_Udcbalctrl = c.kp;
    InPhaseVolCtrlStep(&m.hdr);
    const float g = rcp * c.kp * c.pwdir;
    EXPECT_FLOAT_EQ(m.test7, g);
    EXPECT_FLOAT_EQ(m.test4, c.limited);
    EXPECT_FLOAT_EQ(m.set_Udca_bal_coef, g * c.limited);
    if (!std::isnan(c.ratio)) {
        EXPECT_FLOAT_EQ(m.test1, c.ratio);
        // The third phase carries the negated numerator; a zero divisor ignores it.
        EXPECT_FLOAT_EQ(m.test3, c.divisor == 0.0f ? c.ratio : -c.ratio);
    }
}

INSTANTIATE_TEST_SUITE_P(
    InPhaseVolCtrl, BalanceCoefficient,
    ::testing::Values(BalanceCase{"PeakOverRms", 1.4142135f, 1.0f, 0.4f, 1, 1.0f, 1.0f},
                      BalanceCase{"ReversedDirection", 0.7071068f, 1.0f, 0.4f, -1, 0.5f, 0.5f},
                      BalanceCase{"ZeroDivisorGivesTwo", 0.1f, 0.0f, 0.4f, 1, 1e10f, 2.0f},
                      BalanceCase{"LargeRatioLimited", 10.0f, 1.0f, 0.4f, 1, 7.0710673f, 2.0f},
                      BalanceCase{"ZeroGainShowsTheRatios", 1.4142135f, 1.0f, 0.0f, 1, 1.0f, 1.0f},
                      BalanceCase{"NaNBalancesNothing", kNaN, 1.0f, 0.4f, 1, kNaN, 0.0f}),
    CaseName<BalanceCase>);

// A ThreeHarCtrl record enabled and running, filters fast enough to settle in a few steps.
struct InjectionBench {
    float mod_pos[3] = {}, mod_neg[3] = {};
    float udmod_pos = 0, uqmod_pos = 0, udmod_neg = 0, uqmod_neg = 0;
    float theta = 0, udpos = 0, uqpos = 0, udneg = 0, uqneg = 0, ud_mix = 0, uq_mix = 0;
    float task = 1e-4f;
    std::uint8_t running = 1, trans_type = 0, ffsw = 0;
    ThreeHarCtrl m{};
    InjectionBench() {
        m.mod_a_pos = &mod_pos[0];
        m.mod_b_pos = &mod_pos[1];
        m.mod_c_pos = &mod_pos[2];
        m.mod_a_neg = &mod_neg[0];
        m.mod_b_neg = &mod_neg[1];
        m.mod_c_neg = &mod_neg[2];
        m.Udmod_pos = &udmod_pos;
        m.Uqmod_pos = &uqmod_pos;
        m.Udmod_neg = &udmod_neg;
        m.Uqmod_neg = &uqmod_neg;
        m.grid_theta = &theta;
        m.Udpos = &udpos;
        m.Uqpos = &uqpos;
        m.Udneg = &udneg;
        m.Uqneg = &uqneg;
        m.Ud_mix = &ud_mix;
        m.Uq_mix = &uq_mix;
        m.flg_seq_running = &running;
        m.trans_type = &trans_type;
        m.Task1 = &task;
        m.flg_ffsw = &ffsw;
        m.ena_ThreeHar = 1;
        m.parm_Uff_filf = 1e9f;
        m.parm_Uff_filf_sw = 1e9f;
    }
    float Step(int n = 1) {
        for (int i = 0; i < n; ++i) {
            ThreeHarCtrlStep(&m.hdr);
        }
        return m.set_threehar_inject;
    }
};

struct MinMaxCase {
    std::string name;
    float s[3];
    float expected;
};

class MinMaxInjection : public ::testing::TestWithParam<MinMaxCase> {};

// The common mode centres the summed contributions between their extremes.
TEST_P(MinMaxInjection, CentresTheExtremes) {
    const MinMaxCase& c = GetParam();
    InjectionBench b;
    b.m.parm_ThreeHar_Mode = 1;
    for (int k = 0; k < 3; ++k) {
        b.mod_pos[k] = 0.75f * c.s[k];
        b.mod_neg[k] = c.s[k] - b.mod_pos[k];
    }
    EXPECT_FLOAT_EQ(b.Step(), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    ThreeHarCtrl, MinMaxInjection,
    ::testing::Values(MinMaxCase{"EqualPhasesCancel", {0.4f, 0.4f, 0.4f}, -0.4f},
                      MinMaxCase{"OneAgainstTwo", {1.0f, -0.5f, -0.5f}, -0.25f},
                      MinMaxCase{"BalancedPeakOfPhaseA",
                                 {1.0f, -0.5f, -0.5f},
                                 -0.25f},  // a balanced set at its phase-a peak
                      MinMaxCase{"SymmetricExtremes", {0.9f, 0.1f, -0.9f}, 0.0f}),
    CaseName<MinMaxCase>);

// a cos(phi) - b sin(phi) = R cos(phi + delta): the injection is one eighth of the voltage
// vector's amplitude at three times the grid angle, shifted by the vector's angle, for the
// positive sequence at +3 theta and the negative sequence at -3 theta.
TEST(ThreeHarCtrl, ThirdHarmonicIsAnEighthOfTheVectorAtThreeTimesTheAngle) {
    struct Case {
        std::uint8_t ffsw;
        float d1, q1, dmod, qmod, d2, q2, dmod_neg, qmod_neg;
    };
    for (const Case& c : {Case{0, 0.9f, 0.0f, -0.1f, 0.6f, 0, 0, 0.3f, 0.2f},
                          Case{1, 0.7f, 0.1f, 0.1f, 0.5f, 0.05f, -0.1f, 0.15f, 0.1f}}) {
        InjectionBench b;
        b.ffsw = c.ffsw;
        b.ud_mix = b.udpos = c.d1;
        b.uq_mix = b.uqpos = c.q1;
        b.udneg = c.d2;
        b.uqneg = c.q2;
        b.udmod_pos = c.dmod;
        b.uqmod_pos = c.qmod;
        b.udmod_neg = c.dmod_neg;
        b.uqmod_neg = c.qmod_neg;
        b.Step(20);
        // The normal path carries no negative sequence.
        const double dn = c.ffsw == 1 ? c.d2 + c.dmod_neg : c.dmod_neg;
        const double qn = c.ffsw == 1 ? c.q2 + c.qmod_neg : c.qmod_neg;
        const double dp = c.d1 + c.dmod, qp = c.q1 + c.qmod;
        for (int k = 0; k < 50; ++k) {
            b.theta = static_cast<float>(k) / 50.0f;
            const double phi = 6.0 * std::numbers::pi * b.theta;
            const double pos = -std::hypot(dp, qp) / 8 * std::cos(phi + std::atan2(qp, dp));
            const double neg = -std::hypot(dn, qn) / 8 * std::cos(-phi + std::atan2(qn, dn));
            ASSERT_NEAR(b.Step(), pos + neg, 2e-6) << int{c.ffsw} << " " << k;
            ASSERT_NEAR(b.m.threehar_a_pos, pos, 2e-6);
        }
    }
}

// Injection only with the enable, running, a transformer type 0 and a known mode. The two
// flags are read as the bytes their producers store: a set byte next to other set bytes does
// not look like a small float.
TEST(ThreeHarCtrl, InjectsOnlyWhenEnabledRunningAndUntransformed) {
    struct Case {
        std::string name;
        std::uint8_t ena, running, trans_type, mode;
        bool injects;
    };
    for (const Case& c :
         {Case{"Active", 1, 1, 0, 1, true}, Case{"DefaultDisabled", 0, 1, 0, 1, false},
          Case{"EnableTwoIsNotOne", 2, 1, 0, 1, false}, Case{"Stopped", 1, 0, 0, 1, false},
          Case{"Transformer", 1, 1, 1, 1, false}, Case{"UnknownMode", 1, 1, 0, 2, false}}) {
        InjectionBench b;
        b.m.ena_ThreeHar = c.ena;
        b.running = c.running;
        b.trans_type = c.trans_type;
        b.m.parm_ThreeHar_Mode = c.mode;
        b.mod_pos[0] = 1.0f;
        b.m.threehar_a_pos = 0.5f;  // left alone while inactive
        EXPECT_EQ(b.Step() != 0.0f, c.injects) << c.name;
        if (!c.injects) {
            EXPECT_EQ(b.m.threehar_a_pos, 0.5f) << c.name;
        }
    }
}

// Each filter pair resumes from its own state when the fast feed-forward switches; a NaN
// voltage restarts a filter instead of poisoning it.
TEST(ThreeHarCtrl, FilterPairsKeepTheirStateAndRecoverFromNaN) {
    InjectionBench b;
    b.m.parm_Uff_filf = 63.0f;  // slow normal filter
    b.ud_mix = 1.0f;
    b.udpos = 0.5f;
    b.Step(10);
    const float slow = b.m.d1;
    EXPECT_GT(slow, 0.0f);
    EXPECT_LT(slow, 0.1f);
    b.ffsw = 1;
    b.Step(5);
    EXPECT_NEAR(b.m.d1, 0.5f, 1e-6f);
    b.ffsw = 0;
    b.Step(1);
    EXPECT_GT(b.m.d1, slow);
    EXPECT_LT(b.m.d1, 0.1f);
    b.ud_mix = kNaN;
    b.Step(1);
    b.ud_mix = 1.0f;
    b.Step(1);
    EXPECT_TRUE(std::isfinite(b.m.d1));
    EXPECT_TRUE(std::isfinite(b.m.set_threehar_inject));
}

}  // namespace
}  // namespace svg
