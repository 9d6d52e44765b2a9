// Mode control: registration, the mode selection from host channel 44, the minimum magnitude
// with its sign memory, the rate limit, the closed-loop errors of each mode, integrator
// tracking, the dead zone, the mode-6 latch on the environment time counter, the reserve and
// anti-misoperation corrections, and bad input from host channels and measurements.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include "framework/registry.h"
#include "mode_ctrl_fixture.h"
#include "pll_curtrans_pqcal_fixture.h"

namespace svg::testing {
namespace {

constexpr float kNaN = std::numeric_limits<float>::quiet_NaN();

using ModeCtrlTest = ModeBench;

TEST_F(ModeCtrlTest, RegistersVariablesAndParametersInOrder) {
    ExpectFieldsDisjoint(*env_->variables, "ModeCtrl", mc_, sizeof(ModeCtrl), 71);
    ExpectFieldsDisjoint(*env_->parameters, "ModeCtrl", mc_, sizeof(ModeCtrl), 37);
    const std::vector<std::string> vars = RegisteredNames(*env_->variables, "ModeCtrl");
    ASSERT_EQ(vars.size(), 71u);
    EXPECT_EQ(vars.front(), "set_Iqpos_ref_ss");
    EXPECT_EQ(vars[2], "flg_Qsvg_mode");
    EXPECT_EQ(vars[61], "set_Iqpos_ref_ss_CoorMode");
    EXPECT_EQ(vars[62], "Iqpos_ref_Send_10kVar1");
    EXPECT_EQ(vars[65], "Iqpos_ref_Send_10kVar4");
    EXPECT_EQ(vars.back(), "Iref_test");

    // Parameter defaults show in the behaviour tests below (minimum 0.05, rate 0.05 per
    // period, 5 % dead zone, limits 1.1, voltage gains 0.05 and 200).
    const std::vector<std::string> params = RegisteredNames(*env_->parameters, "ModeCtrl");
    ASSERT_EQ(params.size(), 37u);
    EXPECT_EQ(params.front(), "parm_Qctrl_mode");
    EXPECT_EQ(params[20], "ena_QnRes");
    EXPECT_EQ(params.back(), "parm_ki_U_test");
    // Initial state: the hold latch's set delay, and the registered limits in force.
    EXPECT_FLOAT_EQ(mc_->Uinzone_S_delay, 0.1f);
    EXPECT_EQ(mc_->set_Iqpos_ref_ss, 0.0f);
}

// Every byte the host can put on channel 44 selects exactly one indicator and a path; the
// values outside 0..6 act as mode 0.
TEST_F(ModeCtrlTest, EveryModeByteOnChannel44SelectsOneIndicatorAndAPath) {
    struct Case {
        float channel;
        int indicator;  // 0 Qsvg, 1 U, 2 PF, 3 Qsys, 4 I
        bool closed;
    };
    const Case cases[] = {
        {0, 0, false},  {1, 1, true},     {2, 2, true},      {3, 3, true},    {4, 0, false},
        {5, 4, false},  {6, 3, true},     {7, 0, false},     {255, 0, false}, {256 + 1, 1, true},
        {-1, 0, false}, {kNaN, 0, false}, {1e10f, 0, false}, {3.9f, 3, true},
    };
    Running(true);
    for (const Case& c : cases) {
        Mode(c.channel);
        Periods(1);
        const std::uint8_t flags[5] = {mc_->flg_Qsvg_mode, mc_->flg_U_mode, mc_->flg_PF_mode,
                                       mc_->flg_Qsys_mode, mc_->flg_I_mode};
        for (int k = 0; k < 5; ++k) {
            EXPECT_EQ(flags[k], k == c.indicator ? 1 : 0) << "channel 44 = " << c.channel;
        }
        EXPECT_EQ(mc_->flg_Qclose_mode, c.closed ? 1 : 0) << c.channel;
        EXPECT_EQ(mc_->flg_Qopen_mode, c.closed ? 0 : 1) << c.channel;
        EXPECT_EQ(mc_->flg_force_Umode, 0);
        EXPECT_TRUE(std::isfinite(mc_->set_Iqpos_ref_ss));
    }
}

// A small command inside (-0.05, 0.05) is pushed to the side where the command last was:
// negative after start-up, positive once it has been at or above +0.05.
TEST_F(ModeCtrlTest, OpenLoopCommandKeepsTheMinimumMagnitudeOnTheRememberedSide) {
    struct Step {
        float cmd;
        float expected;
    };
    const Step steps[] = {{0.02f, -0.05f}, {0.0f, -0.05f},   {0.06f, 0.06f},   {0.02f, 0.05f},
                          {-0.01f, 0.05f}, {-0.05f, -0.05f}, {0.049f, -0.05f}, {kNaN, -0.05f}};
    Running(true);
    for (const Step& s : steps) {
        qsvg_cmd_ = s.cmd;
        Periods(1);
        EXPECT_FLOAT_EQ(mc_->Qcmd_openmode, s.expected) << "command " << s.cmd;
    }
}

// A jump of 1.0 in the selected current passes the rate limit in 20 periods of 0.05, and the
// reference settles at the minimum magnitude on its last side once the sequence stops.
TEST_F(ModeCtrlTest, ReferenceRampsAtTheRateLimitAndSettlesAtTheMinimumWhenStopped) {
    Periods(40);
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_ref_ss, -0.05f);  // stopped after start-up: negative side
    Mode(5);
    isvg_cmd_ = 0.95f;
    Running(true);
    for (int k = 1; k <= 20; ++k) {
        Periods(1);
        EXPECT_NEAR(mc_->set_Iqpos_ref_ss, -0.05f + 0.05f * k, 1e-5f) << "period " << k;
    }
    Periods(5);
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_ref_ss, 0.95f);
    Running(false);
    Periods(40);
    EXPECT_NEAR(mc_->set_Iqpos_ref_ss, 0.05f, 1e-6f);  // the side where it last was
    EXPECT_EQ(mc_->set_Iqpos_intg_follow, 0.0f);       // stopped: the regulator is cleared
}

// The error each closed-loop mode feeds the regulator, against its own definition: voltage
// command minus feedback; PF target |P| tan(acos PF) minus the measured reactive power; the
// system reactive power command minus the measured one.
TEST_F(ModeCtrlTest, EachClosedLoopModeRegulatesItsOwnError) {
    ucmd_ = 1.0f;
    ufbk_ = 0.92f;  // outside the 5 % dead zone
    psel_ = -0.6f;
    qsel_ = 0.1f;
    qsys_cmd_ = 0.4f;
    qsvg_ = 0.2f;
    const double pf_target = 0.6 * std::tan(std::acos(0.95));
    struct Case {
        float mode;
        double error;
    };
    const Case cases[] = {{1, 0.08}, {2, pf_target - 0.1}, {3, 0.4 - 0.1}};
    Running(true);
    for (const Case& c : cases) {
        Mode(c.mode);
        Periods(1);
        EXPECT_NEAR(mc_->err_close_mode, c.error, 1e-5) << "mode " << c.mode;
        EXPECT_NEAR(mc_->err_ki_final, c.error, 1e-5) << "mode " << c.mode;
    }
    mc_->ena_PF_lead = 1;
    Mode(2);
    Periods(1);
    EXPECT_NEAR(mc_->err_close_mode, -pf_target - 0.1, 1e-5);
    // A power-factor command above 1 counts as unity instead of a square root of a negative.
    mc_->parm_PF_cmd = 1.2f;
    Periods(1);
    EXPECT_EQ(mc_->Qaim_sel_pu, 0.0f);
    EXPECT_NEAR(mc_->err_close_mode, -0.1, 1e-6);
    mc_->parm_PF_cmd = 0.0f;
    Periods(1);
    EXPECT_TRUE(std::isfinite(mc_->set_Iqpos_ref_ss));
}

// In the open-loop modes the integrator tracks the open-loop command, so switching to a
// closed-loop mode with no error continues from the same reference.
TEST_F(ModeCtrlTest, IntegratorTracksTheOpenLoopCommandForABumplessSwitch) {
    Running(true);
    qsvg_cmd_ = 0.4f;
    qsvg_ = 0.4f;
    qsel_ = 0.3f;
    qsys_cmd_ = 0.3f;  // no system reactive power error
    Periods(40);
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_intg_follow, 0.4f);
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_ref_ss, 0.4f);
    Mode(3);
    Periods(5);
    EXPECT_NEAR(mc_->set_Iqpos_ref_ss, 0.4f, 1e-6f);
}

// With the voltage error inside 5 % of the command for 0.5 s the integrator input becomes 0
// and the proportional error stays at its value at entry; a voltage outside twice the zone
// releases the loop.
TEST_F(ModeCtrlTest, DeadZoneFreezesTheReferenceUntilTheVoltageLeavesIt) {
    Mode(1);
    Running(true);
    ufbk_ = 0.97f;
    Periods(500);
    EXPECT_EQ(mc_->flg_in_zone, 0);
    EXPECT_NEAR(mc_->err_forki, 0.03f, 1e-6f);
    Periods(1);  // the 501st period after the error entered the zone
    EXPECT_EQ(mc_->flg_in_zone, 1);
    EXPECT_EQ(mc_->err_forki, 0.0f);
    const float frozen_p = mc_->err_forkp;
    const float frozen_ref = mc_->set_Iqpos_ref_ss;
    const float frozen_i = mc_->set_Iqpos_intg_follow;
    EXPECT_NEAR(frozen_p, 0.03f, 1e-6f);
    ufbk_ = 0.985f;  // still inside: nothing moves
    Periods(200);
    EXPECT_EQ(mc_->err_forkp, frozen_p);
    EXPECT_EQ(mc_->set_Iqpos_intg_follow, frozen_i);
    EXPECT_EQ(mc_->set_Iqpos_ref_ss, frozen_ref);
    ufbk_ = 0.85f;  // error 0.15, beyond twice the zone
    Periods(1);
    EXPECT_EQ(mc_->flg_in_zone, 0);
    EXPECT_NEAR(mc_->err_forki, 0.15f, 1e-6f);
}

// Mode 6: 5000 host steps outside the band set the forced voltage control, 600000 host steps
// back inside clear it; the upper limit flag itself clears only at 0.97 x 1.1.
TEST_F(ModeCtrlTest, Mode6ForcesVoltageControlAfter5000AndReleasesAfter600000HostSteps) {
    Mode(6);
    Running(true);
    Periods(10);  // the last sample inside the band was taken 10 host steps ago
    ufbk_ = 1.12f;
    Ticks(5000 - kTicksPerPeriod);
    EXPECT_EQ(mc_->flg_Uuplim_temp, 1);
    EXPECT_EQ(mc_->flg_force_Umode, 0);
    EXPECT_EQ(mc_->flg_Qsys_mode, 1);
    Ticks(1);
    EXPECT_EQ(mc_->flg_force_Umode, 1);
    EXPECT_EQ(mc_->flg_U_mode, 1);
    EXPECT_EQ(mc_->flg_Qsys_mode, 0);
    EXPECT_EQ(mc_->flg_Uctrl, 1);
    EXPECT_FLOAT_EQ(mc_->ki_QUsel, 200.0f);  // voltage gains while forced

    Ticks(9);  // to the end of the period: the last sample outside is this period's
    ufbk_ = 1.0675f;
    Periods(1);
    EXPECT_EQ(mc_->flg_Uuplim_temp, 1);  // above 0.97 x 1.1: still outside
    ufbk_ = 1.0f;
    Ticks(600000 - kTicksPerPeriod);
    EXPECT_EQ(mc_->flg_Uuplim_temp, 0);
    EXPECT_EQ(mc_->flg_force_Umode, 1);
    Ticks(1);
    EXPECT_EQ(mc_->flg_force_Umode, 0);
    EXPECT_EQ(mc_->flg_Qsys_mode, 1);
}

// Mode 6 with ena_UPF = 2 runs open loop on the converter reactive power command; the command
// is computed in the same step, never left from an earlier one.
TEST_F(ModeCtrlTest, Mode6OpenLoopSubModeFollowsTheCommandOfTheSameStep) {
    Mode(6);
    mc_->ena_UPF = 2;
    Running(true);
    qsvg_cmd_ = 0.3f;
    Periods(1);
    EXPECT_EQ(mc_->flg_Qopen_mode, 1);
    EXPECT_EQ(mc_->flg_Qclose_mode, 0);
    EXPECT_FLOAT_EQ(mc_->Iqcmd_openmode, 0.3f);
    qsvg_cmd_ = -0.5f;
    Periods(1);
    EXPECT_FLOAT_EQ(mc_->Iqcmd_openmode, -0.5f);
    Periods(30);
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_ref_ss, -0.5f);
    EXPECT_EQ(mc_->flg_PF_mode, 1);
    // A sub-mode outside 0..2 computes nothing new: the closed loop keeps its last error.
    mc_->ena_UPF = 200;
    Periods(5);
    EXPECT_EQ(mc_->flg_Qclose_mode, 1);
    EXPECT_TRUE(std::isfinite(mc_->set_Iqpos_ref_ss));
}

// The reserve correction shifts the voltage reference by at most its limit against the side
// the converter is running out of; the anti-misoperation integrator runs at (U2 - 1.1) x 10
// per second outside the band and holds after the stabilisation time inside it.
TEST_F(ModeCtrlTest, ReserveAndAntiMisoperationCorrectTheVoltageLoop) {
    Mode(1);
    Running(true);
    mc_->ena_QnRes = 1;
    mc_->parm_QnRes_pu = 0.2f;
    struct Case {
        float qsvg;
        float shift;
    };
    for (const Case c : {Case{0.9f, -0.02f}, Case{-0.9f, 0.02f}, Case{0.5f, 0.0f}}) {
        qsvg_ = c.qsvg;
        Periods(2);
        EXPECT_NEAR(mc_->VscRev, c.shift, 1e-7f) << "Q " << c.qsvg;
        EXPECT_NEAR(mc_->err_Umode, 1.0f - 1.0f + c.shift, 1e-6f);
    }
    mc_->ena_QnRes = 0;
    mc_->ena_AntiMis = 1;
    u2_ = 1.2f;
    Periods(100);
    EXPECT_NEAR(mc_->QregIntMax, 100 * 0.1 * 0.001 * 10, 1e-4);
    EXPECT_NEAR(mc_->AntiMisIqComp, -0.1, 1e-4);
    u2_ = 1.1005f;  // inside the 0.2 % band: integrates for 1.5 s, then holds
    Periods(1400);
    const float running = mc_->QregIntMax;
    EXPECT_NEAR(running, 0.1 + 1400 * 0.0005 * 0.001 * 10, 1e-4);
    Periods(200);
    const float held = mc_->QregIntMax;
    Periods(200);
    EXPECT_EQ(mc_->QregIntMax, held);
    udpos_ = 0.8f;  // weak grid voltage: no correction
    Periods(1);
    EXPECT_EQ(mc_->AntiMisIqComp, 0.0f);
}

// NaN or huge gains on channels 90/91, zero ratings, a zero task period and NaN measurements
// keep the reference and the regulator finite, leave no NaN behind once the inputs are sane
// again, and the loop works as before.
TEST_F(ModeCtrlTest, BadGainsRatingsAndMeasurementsLeaveNoNaNBehind) {
    Mode(1);
    Running(true);
    ufbk_ = 0.9f;
    Periods(50);
    auto expect_outputs_finite = [&](const std::string& what) {
        EXPECT_TRUE(std::isfinite(mc_->set_Iqpos_ref_ss)) << what;
        EXPECT_TRUE(std::isfinite(mc_->set_Iqpos_intg_follow)) << what;
        EXPECT_TRUE(std::isfinite(mc_->err_ki_final)) << what;
        EXPECT_TRUE(std::isfinite(mc_->Iqpos_ref_Send_10kVar[0])) << what;
    };
    const float bad[] = {kNaN, std::numeric_limits<float>::infinity(), 1e30f, -1e30f, 0.0f};
    for (int channel : {kChKpU, kChKiU}) {
        for (float v : bad) {
            Channel(channel, v);
            Periods(3);
            expect_outputs_finite("channel " + std::to_string(channel));
        }
    }
    Channel(kChKpU, 0.05f);
    Channel(kChKiU, 200.0f);
    qn_ = 0.0f;
    task2_ = 0.0f;
    mc_->ena_AntiMis = 1;
    mc_->ena_QnRes = 1;
    mc_->ena_Uslope = 1;
    const float modes[] = {0, 1, 2, 3, 5, 6};
    for (float* m : {&ufbk_, &udpos_, &qsvg_, &id_mix_, &qsel_, &psel_, &u2_, &qsvg_cmd_}) {
        *m = kNaN;
        for (float mode : modes) {
            Mode(mode);
            Periods(2);
            expect_outputs_finite("mode " + std::to_string(mode));
        }
    }
    qn_ = 30.0f;
    task2_ = 0.001f;
    ufbk_ = 0.9f;
    udpos_ = 1.0f;
    qsvg_ = id_mix_ = qsel_ = psel_ = qsvg_cmd_ = 0.0f;
    u2_ = 1.0f;
    for (float mode : modes) {  // each mode refreshes its own diagnostics
        Mode(mode);
        Periods(2);
    }
    Mode(1);
    Periods(300);
    EXPECT_TRUE(NonFiniteFloats(*env_->variables, "ModeCtrl").empty());
    EXPECT_FLOAT_EQ(mc_->set_Iqpos_ref_ss, 1.1f);  // 10 % low voltage: full capacitive
}

}  // namespace
}  // namespace svg::testing
