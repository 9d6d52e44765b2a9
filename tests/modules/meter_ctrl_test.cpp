// Metering: bases, per-unit scaling, own RMS windows, site selection, the positive-sequence
// magnitude, the command trigger, and behaviour under bad ratings and selectors.
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>
#include <numbers>
#include <vector>

#include "meter_ctrl_fixture.h"

namespace svg::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();
constexpr float kInf = std::numeric_limits<float>::infinity();
constexpr double kSqrt3 = std::numbers::sqrt3;
const double kRmsToPeak = std::sqrt(2.0 / 3.0);  // line RMS to phase peak

// Rated phase peak at PT4 (35 kV) and at PT1 (220 kV), volts.
const double kPocPeak = 35e3 * kRmsToPeak;
const double kPccPeak = 220e3 * kRmsToPeak;

using MeterCtrlTest = MeteringBench;

void ExpectRel(double actual, double expected, double rel) {
    EXPECT_NEAR(actual, expected, rel * std::fabs(expected)) << "expected " << expected;
}

TEST_F(MeterCtrlTest, RegistersItsSignalsAndTasksInOrder) {
    ExpectFieldsDisjoint(*env_->parameters, "MeterCtrl", meter_, sizeof(MeterCtrl), 17);
    ExpectFieldsDisjoint(*env_->variables, "MeterCtrl", meter_, sizeof(MeterCtrl), 67);
    EXPECT_EQ(meter_->parm_Udccmd, 2400.0f);
    EXPECT_EQ(meter_->parm_PF_cmd, 0.95f);
    EXPECT_EQ(meter_->parm_PTsite_sel, 1);
    EXPECT_EQ(meter_->set_Ufbk_another_pu, 1.0f);
    EXPECT_EQ(meter_->set_kpi_Umode, 1.0f);
    EXPECT_EQ(meter_->test1, 1);
    const ModuleHeader* m = &meter_->hdr;
    EXPECT_EQ(TaskListOf(env_, 1)[2], (TaskEntry{&MeterCtrlMain, m}));
    EXPECT_EQ(TaskListOf(env_, 2), (std::vector<TaskEntry>{{&MeterCtrlCommandTrigger, m}}));
    EXPECT_EQ(TaskListOf(env_, 3),
              (std::vector<TaskEntry>{{&MeterCtrlBases, m}, {&MeterCtrlReactance, m}}));
    // A refused list index stops the registration before anything is appended.
    EXPECT_EQ(meter_->hdr.register_tasks(&meter_->hdr, 0), 1);
    EXPECT_EQ(TaskListOf(env_, 3).size(), 2u);
}

TEST_F(MeterCtrlTest, RatedBasesFollowFromTheSystemParameters) {
    Ticks(1);
    ExpectRel(meter_->Upoc_base, kPocPeak, 1e-6);
    ExpectRel(meter_->Upcc_base, kPccPeak, 1e-6);
    ExpectRel(meter_->Ipoc_base, 30e6 * kRmsToPeak / 35e3, 1e-6);  // about 699.85 A
    ExpectRel(meter_->Ipcc_base, 30e6 * kRmsToPeak / 220e3, 1e-6);
    EXPECT_EQ(meter_->Q_base, 30.0f);
    EXPECT_EQ(meter_->k_trans, 3.5f);
    // Series reactance per unit: 2 pi f L / (Un^2 / Qn).
    ExpectRel(meter_->set_wL_pu, 2 * std::numbers::pi * 50 * 13e-3 / (35.0 * 35.0 / 30.0), 1e-6);
    EXPECT_EQ(meter_->set_rcp_Udccmd, 1.0f / 2400.0f);
    EXPECT_EQ(meter_->set_submodule_pwdir, 1.0f);
    meter_->parm_submodule_pwdir = 1;
    Ticks(100);
    EXPECT_EQ(meter_->set_submodule_pwdir, -1.0f);
    meter_->parm_submodule_pwdir = 7;
    Ticks(100);
    EXPECT_EQ(meter_->set_submodule_pwdir, -1.0f);
}

struct ConnectionCase {
    std::uint8_t trans_type;
    double ihall_per_ipoc, uvalve_per_upoc, rcp_z_base;
};

class ConnectionTest : public MeteringBench,
                       public ::testing::WithParamInterface<ConnectionCase> {};

TEST_P(ConnectionTest, ValveBasesFollowTheTransformerConnection) {
    const ConnectionCase& c = GetParam();
    par_->parm_trans_type = c.trans_type;
    Ticks(1);
    ExpectRel(meter_->Ihall_base, c.ihall_per_ipoc * meter_->Ipoc_base, 1e-6);
    ExpectRel(meter_->set_Uvalve_base, c.uvalve_per_upoc * meter_->Upoc_base, 1e-6);
    ExpectRel(meter_->rcp_Z_base, c.rcp_z_base, 1e-6);
    ExpectRel(meter_->set_rcp_Ihall_base * meter_->Ihall_base, 1.0, 1e-6);
}

// 35/10 kV transformer, Qn = 30 Mvar, Un = 35 kV.
INSTANTIATE_TEST_SUITE_P(Connections, ConnectionTest,
                         ::testing::Values(ConnectionCase{0, 1.0, 1.0, 30.0 / (35.0 * 35.0)},
                                           ConnectionCase{3, 1 / kSqrt3, kSqrt3,
                                                          30.0 / (3 * 35.0 * 35.0)},
                                           ConnectionCase{2, 3.5, 1 / 3.5, 30.0 / 100.0},
                                           ConnectionCase{6, 3.5, 1 / 3.5, 30.0 / 100.0}));

TEST_F(MeterCtrlTest, RatedVoltageAtTheConnectionPointIsOnePerUnit) {
    Run(150, [&](int n) {
        Phases(kChU_PT4, Balanced(kPocPeak, 50, Seconds(n)));
        Phases(kChUrms_PT4, {35e3f, 35e3f, 35e3f});
    });
    EXPECT_NEAR(meter_->set_Ufbk_pu, 1.0f, 1e-6);
    EXPECT_NEAR(meter_->set_Ufbk_rms, 35.0f, 1e-5);
    EXPECT_NEAR(meter_->set_kpi_Umode, 35 * 0.028571, 1e-6);
    EXPECT_NEAR(meter_->set_Ucmd_pu, 1.0f, 1e-6);
    const Abc v = Balanced(kPocPeak, 50, Seconds(149));
    EXPECT_NEAR(meter_->set_Upoc_a_pu, v.a / kPocPeak, 1e-6);
    EXPECT_NEAR(meter_->set_Upoc_c_pu, v.c / kPocPeak, 1e-6);
    EXPECT_NEAR(meter_->set_Uctrl_b_pu, v.b / kPocPeak, 1e-6);
}

TEST_F(MeterCtrlTest, CurrentsAndCommandsScaleToTheirBases) {
    meter_->ena_CT2_sys = 1;
    Phases(kChI_CT1, {100, -50, -50});
    Phases(kChI_CT2, {10, 20, 30});
    Phases(kChI_CT3, {-7, 3, 4});
    Phases(kChI_HALL, {70, 0, -70});
    Ticks(2);
    const double ipoc = 30e6 * kRmsToPeak / 35e3;
    EXPECT_NEAR(meter_->set_Isys_a_pu, 110 / ipoc, 1e-6);
    EXPECT_NEAR(meter_->set_Isys_c_pu, -20 / ipoc, 1e-6);
    EXPECT_NEAR(meter_->set_Iload_a_pu, -7 / ipoc, 1e-6);
    EXPECT_NEAR(meter_->set_Ictrl_a_pu, -70 / ipoc, 1e-6);  // opposite sign of the Hall
    EXPECT_NEAR(meter_->set_Ictrl_c_pu, 70 / ipoc, 1e-6);
    EXPECT_NEAR(meter_->set_Isvg_cmd_pu, 10 * std::sqrt(2.0) / ipoc, 1e-6);
    EXPECT_NEAR(meter_->set_Qsvg_cmd_pu, 1.0 / 30, 1e-7);
    EXPECT_EQ(meter_->set_Qsys_cmd_pu, 0.0f);
    Channel(kChCtrlSite, 1);  // the PCC: currents per unit of the PT1 current base
    Ticks(1);
    EXPECT_NEAR(meter_->set_Isys_a_pu, 110 / (30e6 * kRmsToPeak / 220e3), 1e-5);
    EXPECT_NEAR(meter_->set_Ucmd_pu, 35.0 / 220, 1e-7);
}

struct SineCase {
    double line_rms;  // V
    double phase;     // rad
};

class RmsWindowTest : public MeteringBench, public ::testing::WithParamInterface<SineCase> {};

TEST_P(RmsWindowTest, OwnRmsOfA50HzSineIsItsAnalyticRms) {
    const SineCase& c = GetParam();
    const double peak = c.line_rms * kRmsToPeak;
    meter_->parm_UfbkMode = 1;
    Run(317, [&](int n) {
        Phases(kChU_PT4, Balanced(peak, 50, Seconds(n), c.phase));
        Phases(kChU_PT1, Balanced(peak, 50, Seconds(n), c.phase + 1.0));
    });
    // The 100-sample window spans one period of x^2 at 50 Hz, so the mean square is exact.
    for (float rms : {meter_->UabRms, meter_->UbcRms, meter_->UcaRms, meter_->UPCCabRms,
                      meter_->UPCCbcRms, meter_->UPCCcaRms}) {
        ExpectRel(rms, c.line_rms, 2e-6);
    }
    ExpectRel(meter_->set_Ufbk_pu, c.line_rms / 35e3, 2e-6);
    ExpectRel(meter_->set_Ufbk_rms, c.line_rms / 1e3, 2e-6);
}

INSTANTIATE_TEST_SUITE_P(Sines, RmsWindowTest,
                         ::testing::Values(SineCase{35e3, 0.0}, SineCase{35e3, 0.7},
                                           SineCase{1.0, 2.0}, SineCase{420e3, -1.3}));

TEST_F(MeterCtrlTest, RmsIsNeverNaNAfterAVoltageCollapse) {
    meter_->parm_UfbkMode = 1;
    Run(600, [&](int n) {
        const double peak = n < 253 ? 1.2 * kPocPeak : 0.0;  // collapse mid-window
        Phases(kChU_PT4, Balanced(peak, 50, Seconds(n), 0.3));
        Phases(kChU_PT1, Balanced(peak * 5, 50, Seconds(n), 0.3));
        for (float rms : {meter_->UabRms, meter_->UbcRms, meter_->UcaRms, meter_->UPCCabRms}) {
            ASSERT_FALSE(std::isnan(rms)) << "tick " << n;
            ASSERT_GE(rms, 0.0f) << "tick " << n;
        }
    });
    EXPECT_EQ(meter_->UabRms, 0.0f);
    // A running sum left slightly negative by rounding reads as zero voltage.
    meter_->window[kPocAb].S = -1e-3f;
    meter_->window[kPocAb].R = -1e-3f;
    Ticks(150);
    EXPECT_EQ(meter_->UabRms, 0.0f);
}

TEST_F(MeterCtrlTest, NonFiniteSampleLeavesTheRmsWindowWithinTwoWindows) {
    meter_->parm_UfbkMode = 1;
    auto sine = [&](int n) { Phases(kChU_PT4, Balanced(kPocPeak, 50, Seconds(n))); };
    Run(150, sine);
    Channel(kChU_PT4, kNaN);
    Channel(kChU_PT4 + 1, FLT_MAX);
    Ticks(1);
    Run(200, [&](int n) { sine(n + 151); });
    ExpectRel(meter_->UabRms, 35e3, 2e-6);
    ExpectRel(meter_->UcaRms, 35e3, 2e-6);
}

struct SiteCase {
    std::uint8_t site;
    int voltage_channel;
    int rms_channel;
    double rms_base_kv;
};

class SiteTest : public MeteringBench, public ::testing::WithParamInterface<SiteCase> {};

TEST_P(SiteTest, SelectedSiteGivesThePccVoltagesAndTheFeedback) {
    const SiteCase& c = GetParam();
    par_->parm_Upcc2 = 110.0f;
    par_->parm_Upcc3 = 66.0f;
    meter_->parm_Urms_ctrl_sel = 2;  // bc
    Channel(kChCtrlSite, 1);
    Channel(kChPTsiteSel, c.site);
    // Each site sees its own rated voltage times a site-specific factor.
    const double factor = 0.9 + 0.05 * c.site;
    const double peak = factor * c.rms_base_kv * 1e3 * kRmsToPeak;
    Run(120, [&](int n) {
        for (int pt : {kChU_PT1, kChU_PT2, kChU_PT3}) {
            Phases(pt, Balanced(pt == c.voltage_channel ? peak : 1.0, 50, Seconds(n)));
        }
        for (int rms : {kChUrms_PT1, kChUrms_PT2, kChUrms_PT3}) {
            const float v =
                rms == c.rms_channel ? static_cast<float>(factor * c.rms_base_kv * 1e3) : 1.0f;
            Phases(rms, {0.0f, v, 0.0f});
        }
    });
    EXPECT_EQ(meter_->Upcc_rms_base, static_cast<float>(c.rms_base_kv));
    const Abc v = Balanced(peak, 50, Seconds(119));
    EXPECT_NEAR(meter_->set_Upcc_a_pu, v.a / (c.rms_base_kv * 1e3 * kRmsToPeak), 1e-6);
    EXPECT_NEAR(meter_->set_Upcc_b_pu, v.b / (c.rms_base_kv * 1e3 * kRmsToPeak), 1e-6);
    EXPECT_NEAR(meter_->set_Ufbk_pu, factor, 1e-6);
    EXPECT_NEAR(meter_->set_kpi_Umode, c.rms_base_kv * 0.028571, 1e-5);
    // The cross-check site is PT1: it is the control site itself in case 1.
    if (c.site == 1) {
        EXPECT_EQ(meter_->set_Ufbk_another_pu, 1.0f);
    } else {
        // Mean of the PT1 host RMS values {0, 1 V, 0} per unit of the site's base.
        ExpectRel(meter_->set_Ufbk_another_pu, 1.0 / 3 / (c.rms_base_kv * 1e3), 1e-5);
    }
    EXPECT_NEAR(meter_->set_Upos_PCC_pu, factor, 2e-3);  // balanced: positive sequence only
}

INSTANTIATE_TEST_SUITE_P(Sites, SiteTest,
                         ::testing::Values(SiteCase{1, kChU_PT1, kChUrms_PT1, 220},
                                           SiteCase{2, kChU_PT2, kChUrms_PT2, 110},
                                           SiteCase{3, kChU_PT3, kChUrms_PT3, 66}));

class SelectorTest : public MeteringBench, public ::testing::WithParamInterface<float> {};

// Outputs that selectors choose; an out-of-range selector must leave all of them unchanged.
std::vector<float> Selected(const MeterCtrl& m) {
    return {m.set_Upcc_a_pu, m.set_Upcc_b_pu, m.set_Upcc_c_pu,  m.Upcc_rms_base,
            m.set_Ufbk_pu,   m.set_Ufbk_rms,  m.set_kpi_Umode,  m.set_Ufbk_another_pu,
            m.set_Isys_a_pu, m.set_Ucmd_pu,   m.set_AVC_Ucmd_pu};
}

TEST_P(SelectorTest, OutOfRangeSelectorsKeepThePreviousOutputsAndRecover) {
    const float bad = GetParam();
    Channel(kChCtrlSite, 1);
    auto drive = [&](double scale) {
        return [this, scale](int n) {
            Phases(kChU_PT1, Balanced(scale * kPccPeak, 50, Seconds(n)));
            Phases(kChUrms_PT1,
                   {static_cast<float>(scale * 220e3), static_cast<float>(scale * 220e3),
                    static_cast<float>(scale * 220e3)});
            Phases(kChI_CT1, {static_cast<float>(scale * 100), 0, 0});
        };
    };
    Run(200, drive(1.0));
    const std::vector<float> before = Selected(*meter_);
    Channel(kChCtrlSite, bad);
    Channel(kChPTsiteSel, bad);
    Run(250, drive(0.5));
    EXPECT_EQ(Selected(*meter_), before);
    Channel(kChCtrlSite, 1);
    Channel(kChPTsiteSel, 1);
    Run(250, drive(0.5));
    EXPECT_NEAR(meter_->set_Ufbk_pu, 0.5, 1e-6);
    EXPECT_NEAR(meter_->set_Isys_a_pu, 50 / (30e6 * kRmsToPeak / 220e3), 1e-5);
}

// Channel values whose low byte is outside both selectors' ranges (0 and 1 for the control
// site, 1 to 3 for the PT site): 4, 255, -1 (0xFF) and 260 (low byte 4).
INSTANTIATE_TEST_SUITE_P(Bytes, SelectorTest, ::testing::Values(4.0f, 255.0f, -1.0f, 260.0f));

TEST_F(MeterCtrlTest, ControlVoltageHasNoZeroSequence) {
    struct Case {
        std::uint8_t type;
        double gain, shift;  // control voltage = gain * peak * cos(w + shift) per unit
    };
    const double pi = std::numbers::pi;
    for (const Case& c : {Case{0, 1, 0}, Case{1, 1, 0}, Case{3, 1, pi / 6}, Case{4, 1, pi / 6},
                          Case{2, 1, -pi / 6}, Case{5, 1, -pi / 6}, Case{7, 0, 0}}) {
        par_->parm_trans_type = c.type;
        const double zero_seq = 4000.0;
        Run(3, [&](int n) {
            const Abc v = Balanced(kPocPeak, 50, Seconds(n));
            Phases(kChU_PT4,
                   {static_cast<float>(v.a + zero_seq), static_cast<float>(v.b + zero_seq),
                    static_cast<float>(v.c + zero_seq)});
        });
        const Abc want = Balanced(c.gain, 50, Seconds(2), c.shift);
        EXPECT_NEAR(meter_->set_Uctrl_a_pu, want.a, 2e-6) << int{c.type};
        EXPECT_NEAR(meter_->set_Uctrl_b_pu, want.b, 2e-6) << int{c.type};
        EXPECT_NEAR(meter_->set_Uctrl_c_pu, want.c, 2e-6) << int{c.type};
    }
}

TEST_F(MeterCtrlTest, QuarterPeriodMethodSeparatesTheSequences) {
    auto feed = [this](bool negative) {
        return [this, negative](int n) {
            Abc v = Balanced(0.8 * kPccPeak, 50, Seconds(n));
            if (negative) {
                std::swap(v.b, v.c);
            }
            Phases(kChU_PT1, v);
        };
    };
    Run(400, feed(false));
    EXPECT_NEAR(meter_->set_Upos_PCC_pu, 0.8, 1e-5);
    Run(400, feed(true));
    EXPECT_NEAR(meter_->set_Upos_PCC_pu, 0.0, 1e-5);
}

class NominalFrequencyTest : public MeteringBench, public ::testing::WithParamInterface<float> {};

TEST_P(NominalFrequencyTest, QuarterPeriodDelayStaysInItsBufferAndRecovers) {
    auto feed = [this](int n) { Phases(kChU_PT1, Balanced(kPccPeak, 50, Seconds(n))); };
    Channel(kChFrqNom, GetParam());
    Run(600, [&](int n) {
        feed(n);
        ASSERT_TRUE(std::isfinite(meter_->set_Upos_PCC_pu)) << "tick " << n;
    });
    Channel(kChFrqNom, 50.0f);
    Run(400, [&](int n) { feed(n + 600); });
    EXPECT_NEAR(meter_->set_Upos_PCC_pu, 1.0, 2e-3);
    EXPECT_EQ(NonFiniteFloats(*env_->variables, "MeterCtrl"), std::vector<std::string>{});
}

INSTANTIATE_TEST_SUITE_P(Frequencies, NominalFrequencyTest,
                         ::testing::Values(0.0f, -50.0f, kNaN, 10.0f, 15.9f, 1e-30f, kInf, FLT_MAX,
                                           1e9f));

struct BadRating {
    int channel;
    float value;
    std::uint8_t upos_method;
};

class MeterBadRatingTest : public MeteringBench, public ::testing::WithParamInterface<BadRating> {};

TEST_P(MeterBadRatingTest, BadRatingsGiveFiniteOutputsWhereDefinedAndRecover) {
    const BadRating& c = GetParam();
    meter_->parm_UfbkMode = 2;  // feedback from the filtered vector magnitudes
    meter_->parm_Upos_cal_type = c.upos_method;
    auto feed = [this](int n) {
        theta_ = static_cast<float>(std::fmod(50 * Seconds(n), 1.0));
        Phases(kChU_PT1, Balanced(kPccPeak, 50, Seconds(n)));
        Phases(kChU_PT4, Balanced(kPocPeak, 50, Seconds(n)));
        Phases(kChI_HALL, Balanced(100, 50, Seconds(n)));
    };
    Channel(c.channel, c.value);
    Run(300, [&](int n) {
        feed(n);
        if (std::isfinite(c.value) && c.value <= 0.0f) {
            ASSERT_EQ(NonFiniteFloats(*env_->variables, "MeterCtrl"), std::vector<std::string>{})
                << "tick " << n;
        }
    });
    for (const ChannelValue& rated : kRatedChannels) {
        Channel(rated.channel, rated.value);
    }
    // The vector-magnitude filters forget a huge state at their corner of 35 Hz, about
    // 4.5 ms per e-fold.
    Run(3000, [&](int n) { feed(n + 300); });
    EXPECT_EQ(NonFiniteFloats(*env_->variables, "MeterCtrl"), std::vector<std::string>{});
    EXPECT_NEAR(meter_->set_Upos_PCC_pu, 1.0, 2e-3);
    if (c.upos_method == 0) {  // the vector-magnitude filters run with this method only
        EXPECT_NEAR(meter_->set_Ufbk_pu, 1.0, 2e-3);
        EXPECT_NEAR(meter_->UabsPcc, 1.0, 2e-3);
    }
    ExpectRel(meter_->Ipoc_base, 30e6 * kRmsToPeak / 35e3, 1e-6);
    ExpectRel(meter_->Upcc_base, kPccPeak, 1e-6);
}

std::vector<BadRating> BadRatings() {
    std::vector<BadRating> cases;
    for (int ch : {kChQn, kChVn, kChUpcc1, kChTransHV, kChTransLV}) {
        for (float v : {0.0f, -35.0f, 1e-30f, kNaN, kInf, FLT_MAX}) {
            for (std::uint8_t method : {0, 1}) {
                cases.push_back({ch, v, method});
            }
        }
    }
    return cases;
}

INSTANTIATE_TEST_SUITE_P(Ratings, MeterBadRatingTest, ::testing::ValuesIn(BadRatings()));

TEST_F(MeterCtrlTest, CommandChangeRaisesTheTriggerForAboutTwoHundredTask2Periods) {
    auto count_raised = [this](int ticks) {
        int raised = 0;
        Run(ticks, [&](int n) { raised += (n % 10 == 0 && meter_->CmdchangeTrig != 0) ? 1 : 0; });
        return raised;
    };
    Ticks(2600);  // the first task-2 run sees every command change from 0
    ASSERT_EQ(meter_->CmdchangeTrig, 0);
    Channel(kChUcmd, 36.0f);
    const int raised = count_raised(2600);
    EXPECT_GE(raised, 199);
    EXPECT_LE(raised, 201);
    meter_->ena_AutoWave = 0;
    Channel(kChUcmd, 35.0f);
    EXPECT_EQ(count_raised(600), 0);
    // A NaN command never compares equal: the trigger keeps re-arming but stays bounded.
    meter_->ena_AutoWave = 1;
    meter_->parm_PF_cmd = kNaN;
    count_raised(2000);
    EXPECT_LE(meter_->trig_timer, 0.21f);
}

}  // namespace
}  // namespace svg::testing
