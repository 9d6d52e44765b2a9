// DC voltage control: the ripple filter of each nominal frequency, the command ramp and its
// ride-through values, the DC voltage regulator and the balancing regulators against
// closed-form responses, and recovery from bad measurements and settings.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <numbers>
#include <string>

#include "reference_chain_fixture.h"

namespace svg::testing::refchain {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kTs = 1e-4;
constexpr int kChInegEnable = 49;
constexpr int kChInegKp = 86;

class DcVoltage : public ChainBench {
  protected:
    // Blocked long enough for the reference to follow the cells, then deblocked and running.
    void Settle(float pu) {
        CellDc(pu, pu, pu);
        Commands(false, true);
        Ticks(1200);
        Commands(true, true);
        Ticks(200);
    }
};

struct RippleCase {
    std::string name;
    float nominal_hz;
    double ripple_hz;  // twice the grid frequency
    int freq_temp;
    float temp5;
    double tol;
};

class Ripple : public DcVoltage, public ::testing::WithParamInterface<RippleCase> {};

// Averaging with a copy half a ripple period old cancels the double-frequency ripple: the
// filtered cluster voltages are the mean value. The lines start empty, so the first output
// is half the input.
TEST_P(Ripple, HalfPeriodAverageCancelsTheDoubleFrequencyRipple) {
    const RippleCase& c = GetParam();
    fnom_ = c.nominal_hz;
    auto cells = [&](int n) {
        const double w = 2.0 * std::numbers::pi * c.ripple_hz * n * kTs;
        CellDc(static_cast<float>(1.0 + 0.1 * std::sin(w)),
               static_cast<float>(0.9 + 0.05 * std::sin(w + 1.0)),
               static_cast<float>(1.1 + 0.08 * std::cos(w)));
    };
    cells(0);
    Ticks(1);
    EXPECT_EQ(udc_->Udc_A_fil, 0.5f * udc_->Udc_A_pu);
    for (int n = 1; n < 400; ++n) {
        cells(n);
        Ticks(1);
        if (n >= 60) {
            ASSERT_NEAR(udc_->Udc_A_fil, 1.0, c.tol) << n;
            ASSERT_NEAR(udc_->Udc_B_fil, 0.9, c.tol) << n;
            ASSERT_NEAR(udc_->Udc_C_fil, 1.1, c.tol) << n;
        }
    }
    EXPECT_EQ(udc_->freq_temp, c.freq_temp);
    EXPECT_EQ(udc_->temp5, c.temp5);
    EXPECT_EQ(udc_->length, 50u);
    EXPECT_LT(udc_->index, 50u);
}

INSTANTIATE_TEST_SUITE_P(
    DcVoltage, Ripple,
    ::testing::Values(RippleCase{"Nominal50", 50.0f, 100.0, 50, 1.0f, 1e-6},
                      RippleCase{"Nominal50Point5IsWhole50", 50.5f, 100.0, 50, 1.0f, 1e-6},
                      // 41 2/3 samples blended from two lines: linear interpolation error.
                      RippleCase{"Nominal60", 60.0f, 120.0, 60, 2.0f, 2e-4},
                      RippleCase{"Nominal55UsesThe50HzLines", 55.0f, 100.0, 55, 3.0f, 1e-6},
                      RippleCase{"NaNNominal", kNaN, 100.0, 0, 3.0f, 1e-6},
                      RippleCase{"NegativeNominal", -5.0f, 100.0, 0, 3.0f, 1e-6},
                      RippleCase{"HugeNominalSaturates", 1e9f, 100.0, 255, 3.0f, 1e-6},
                      RippleCase{"Nominal316IsNot60", 316.0f, 100.0, 255, 3.0f, 1e-6}),
    CaseName<RippleCase>);

// Blocked, the reference follows the cells (rising at the slope); 0.8 ms after deblocking it
// rises from there to the command at 10 per unit per second, 0.001 per step.
TEST_F(DcVoltage, CommandRampsUpAfterTheDeblockDelay) {
    CellDc(0.9f, 0.9f, 0.9f);
    Commands(false, true);
    Ticks(5);
    EXPECT_NEAR(udc_->udc_ref_pu, 0.005f, 1e-6);  // rising from 0 at the slope
    Ticks(1200);
    EXPECT_NEAR(udc_->udc_ref_pu, 0.9f, 1e-6);
    Commands(true, true);
    int first_rise = -1;
    float prev = udc_->udc_ref_pu;
    for (int n = 0; n < 200; ++n) {
        Ticks(1);
        const float ref = udc_->udc_ref_pu;
        if (first_rise < 0 && ref > prev) {
            first_rise = n;
        }
        if (first_rise >= 0 && ref < 1.0f) {
            ASSERT_NEAR(ref - prev, 0.001f, 2e-6) << n;
        }
        EXPECT_EQ(udc_->set_Udccmd_final, ref * 1050.0f);
        EXPECT_EQ(Out(12), udc_->set_Udccmd_final);
        prev = ref;
    }
    EXPECT_EQ(first_rise, 8);  // the on-delay of 0.8 ms, eight task periods
    EXPECT_NEAR(udc_->udc_ref_pu, 1.0f, 1e-6);
}

// Falls of the command take effect at once, rises are ramped: 0.9 -> 1.0 takes 0.01 s.
TEST_F(DcVoltage, RideThroughCommandsFallAtOnceAndRiseAtTheSlope) {
    std::uint8_t lvrt = 0;
    std::uint8_t hvrt = 0;
    udc_->flg_LVRT_mod = &lvrt;
    udc_->flg_HVRT_mod = &hvrt;
    udc_->parm_Udccmd_LVRT = 0.9f;
    udc_->parm_Udccmd_HVRT = 0.95f;
    Settle(1.0f);
    struct Case {
        std::uint8_t lvrt, hvrt;
        float command;
    };
    for (const Case& c : {Case{0, 1, 0.95f}, Case{1, 0, 0.9f}, Case{1, 1, 1.0f}, Case{0, 0, 1.0f},
                          Case{1, 0, 0.9f}}) {
        lvrt = c.lvrt;
        hvrt = c.hvrt;
        const float before = udc_->udc_ref_pu;
        Ticks(1);
        EXPECT_EQ(udc_->Udccmd_sel, c.command);
        if (c.command <= before) {
            EXPECT_EQ(udc_->udc_ref_pu, c.command);
        } else {
            EXPECT_NEAR(udc_->udc_ref_pu, before + 0.001f, 1e-6);
        }
        Ticks(300);
    }
    lvrt = 1;
    Ticks(200);
    lvrt = 0;
    Ticks(50);
    EXPECT_NEAR(udc_->udc_ref_pu, 0.95f, 1e-5);
    Ticks(50);
    EXPECT_NEAR(udc_->udc_ref_pu, 1.0f, 1e-5);
}

// PI response to a constant error: kp e + n ki Ts e after n steps, then the output limit.
TEST_F(DcVoltage, RegulatorFollowsThePiLawAndItsLimits) {
    Settle(1.0f);
    EXPECT_NEAR(udc_->set_Idpos_ref, 0.0f, 1e-6);
    CellDc(0.98f, 0.98f, 0.98f);
    const double e = 1.0 - 0.98f;
    for (int n = 1; n <= 20; ++n) {
        Ticks(1);
        ASSERT_NEAR(udc_->set_Idpos_ref, 2.91 * e + n * 100.0 * kTs * e, 1e-5) << n;
    }
    EXPECT_EQ(udc_->set_Udcctrl_follow, udc_->Udc_pi.I);
    // A large error: the output stops at the limit, the integrator at its own.
    CellDc(0.2f, 0.2f, 0.2f);
    Ticks(3000);
    EXPECT_EQ(udc_->set_Idpos_ref, 1.0f);
    EXPECT_LE(udc_->set_Udcctrl_follow, 1.0f);
    EXPECT_NEAR(Out(13), 0.5f, 1e-6);  // the positive-sequence d sum is limited to 0.5
    // Grid-forming control holds the integrator at its reference.
    CellDc(1.0f, 1.0f, 1.0f);
    Ticks(2000);
    gfm_blk_ = 1;
    idref_gfm_ = 0.3f;
    Ticks(5);
    EXPECT_EQ(udc_->set_Udcctrl_follow, 0.3f);
    EXPECT_NEAR(udc_->set_Idpos_ref, 0.3f + 2.91f * udc_->Udc_err, 1e-6);
    // Blocking clears the regulator.
    Commands(false, true);
    Ticks(1);
    EXPECT_EQ(udc_->set_Idpos_ref, 0.0f);
    EXPECT_EQ(udc_->set_Udcctrl_follow, 0.0f);
}

// Phase A above the mean drives the d reference negative; B above C drives q positive, scaled
// by 1/sqrt(3) except with transformer type 3. Without the running command or with the
// enable off both stay 0.
TEST_F(DcVoltage, BalancingRegulatorsActOnTheClusterImbalance) {
    CellDc(1.1f, 1.0f, 0.9f);
    Commands(true, false);
    Ticks(200);
    EXPECT_EQ(udc_->set_Idneg_cl_ref, 0.0f);
    EXPECT_EQ(udc_->set_Iqneg_cl_ref, 0.0f);
    EXPECT_EQ(udc_->Ineg_ena_temp, 0);
    const double ed = 1.0 - 1.1f;
    const double eq = (1.0f - 0.9f) / std::sqrt(3.0);
    Commands(true, true);
    Ticks(1);
    EXPECT_NEAR(udc_->set_Idneg_cl_ref, 1.5 * ed + 4.0 * kTs * ed, 1e-6);
    EXPECT_NEAR(udc_->set_Iqneg_cl_ref, 1.5 * eq + 4.0 * kTs * eq, 1e-6);
    trans_type_ = 3;
    Ticks(1);
    EXPECT_NEAR(udc_->Iqnegctrl_err, 1.0f - 0.9f, 1e-6);
    Channel(kChInegEnable, 0.0f);
    Ticks(1);
    EXPECT_EQ(udc_->set_Idneg_cl_ref, 0.0f);
    EXPECT_EQ(udc_->set_Idnegctrl_cl_follow, 0.0f);
}

// NaN or huge cell voltages, a NaN base, NaN gains, bad task periods: every output stays
// finite and the control is back once the inputs are.
TEST_F(DcVoltage, BadMeasurementsAndSettingsLeaveNoTrace) {
    Settle(1.0f);
    float ts = kTask1;
    udc_->Task1 = &ts;
    const float bad[] = {kNaN, kInf, -kInf, 1e38f, -1e38f, 0.0f};
    for (float b : bad) {
        for (int what = 0; what < 4; ++what) {
            CellDc(what == 0 ? b : 1.0f, what == 0 ? b : 1.0f, 1.0f);
            rcp_udccmd_ = what == 1 ? b : 1.0f;
            Channel(kChInegKp, what == 2 ? b : 1.5f);
            ts = what == 3 ? b : kTask1;
            Ticks(60);
            for (float v : {udc_->set_Udccmd_final, udc_->set_Udc_mean, udc_->set_Idpos_ref,
                            udc_->set_Idneg_cl_ref, udc_->set_Iqneg_cl_ref, udc_->udc_ref_pu}) {
                if (what != 0 && what != 1) {
                    ASSERT_TRUE(std::isfinite(v)) << b << " case " << what;
                }
            }
            ASSERT_TRUE(std::isfinite(udc_->Udccmd_ramp)) << b << " case " << what;
            ASSERT_TRUE(std::isfinite(udc_->set_Idpos_ref)) << b << " case " << what;
        }
    }
    CellDc(1.0f, 1.0f, 1.0f);
    rcp_udccmd_ = 1.0f;
    Channel(kChInegKp, 1.5f);
    ts = kTask1;
    Ticks(3000);
    // With no error left the regulators hold their integrators, within their limits.
    EXPECT_NEAR(udc_->udc_ref_pu, 1.0f, 1e-5);
    EXPECT_NEAR(udc_->Udc_err, 0.0f, 1e-6);
    EXPECT_NEAR(udc_->set_Idpos_ref, udc_->Udc_pi.I, 1e-5);
    EXPECT_LE(std::fabs(udc_->set_Udcctrl_follow), 1.0f);
    EXPECT_LE(std::fabs(udc_->set_Idnegctrl_cl_follow), 0.5f);
    EXPECT_LE(std::fabs(udc_->set_Iqnegctrl_cl_follow), 0.5f);
}

}  // namespace
}  // namespace svg::testing::refchain
