// Oscillation damping: registration, the enables, the test sine and its period count for any
// frequency and task period, the washout corner, the lead-lag stages, recovery from a bad
// power sample, and the modulation reaching the voltage loop of mode control.
#include <gtest/gtest.h>

#include <algorithm>
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
constexpr double kPi = 3.14159265358979323846;

using AppModeCtrlTest = ModeBench;

TEST_F(AppModeCtrlTest, RegistersItsSignalsInOrderAndStartsWithTheSecondOrderLowPass) {
    ExpectFieldsDisjoint(*env_->variables, "AppModeCtrl", app_, sizeof(AppModeCtrl), 12);
    ExpectFieldsDisjoint(*env_->parameters, "AppModeCtrl", app_, sizeof(AppModeCtrl), 12);
    const std::vector<std::string> vars = {
        "set_Upod_cmd", "test1",       "test2",        "test3",   "HPF_out", "PODcor1_out",
        "PODcor1_in_k", "PODcor2_out", "PODcor2_in_k", "LPF2out", "Point",   "PointCnt"};
    EXPECT_EQ(RegisteredNames(*env_->variables, "AppModeCtrl"), vars);
    const std::vector<std::string> params = RegisteredNames(*env_->parameters, "AppModeCtrl");
    ASSERT_EQ(params.size(), 12u);
    EXPECT_EQ(params.front(), "parm_PODHPF_Tw");
    EXPECT_EQ(params.back(), "ena_PODtest");
    EXPECT_EQ(app_->test1, 1);
    EXPECT_FLOAT_EQ(app_->parm_PODcor1_T1, 0.546f);
    EXPECT_FLOAT_EQ(app_->parm_PODtest_freq, 1.7f);
    EXPECT_EQ(app_->ena_POD, 0);
}

// Only ena_POD = 1 lets the modulation out, whatever the test switch says.
TEST_F(AppModeCtrlTest, OutputIsZeroUnlessDampingIsEnabled) {
    app_->ena_PODtest = 1;
    app_->parm_PODtest_phase = 1.0f;  // sin(1) at the first step
    for (std::uint8_t enable : {0, 2, 255}) {
        app_->ena_POD = enable;
        Periods(3);
        EXPECT_EQ(app_->set_Upod_cmd, 0.0f) << int(enable);
    }
    app_->ena_POD = 1;
    Periods(1);
    EXPECT_NEAR(app_->set_Upod_cmd, std::sin(1.0), 1e-6);
}

// At 1 ms the default 1.7 Hz test sine counts 588 and so spans 589 steps.
TEST_F(AppModeCtrlTest, TestSineSpansPointPlusOneSteps) {
    app_->ena_POD = 1;
    app_->ena_PODtest = 1;
    app_->parm_PODtest_mag = 0.2f;
    app_->parm_PODtest_phase = 0.5f;
    for (int n = 0; n < 1300; ++n) {
        const int k = n % 589;
        Periods(1);
        ASSERT_EQ(app_->Point, 588.0f);
        ASSERT_NEAR(app_->set_Upod_cmd, 0.2 * std::sin(2 * kPi * 1.7 * 0.001 * k + 0.5), 2e-5)
            << "step " << n;
        ASSERT_EQ(app_->PointCnt, static_cast<float>((k + 1) % 589));
    }
}

// The period count 1/(f Task2) is truncated to an unsigned count: a zero product counts the
// largest value, negative, NaN or sub-one quotients count 0; the output stays finite.
TEST_F(AppModeCtrlTest, PeriodCountOfAnyFrequencyAndTaskPeriodStaysInRange) {
    struct Case {
        float freq;
        float task2;
        float point;
    };
    const Case cases[] = {
        {1.7f, 0.001f, 588.0f},
        {1.7f, 0.0f, 4294967296.0f},
        {0.0f, 0.001f, 4294967296.0f},
        {1e-30f, 1e-30f, 4294967296.0f},
        {-1.7f, 0.001f, 0.0f},
        {kNaN, 0.001f, 0.0f},
        {1.7f, kNaN, 0.0f},
        {1e30f, 1e30f, 0.0f},
        {1e6f, 0.001f, 0.0f},
        {0.5f, 0.001f, 1999.0f},  // 1/(0.5 x 0.001f) is 1999.9999: truncated

    };
    app_->ena_POD = 1;
    app_->ena_PODtest = 1;
    for (const Case& c : cases) {
        app_->parm_PODtest_freq = c.freq;
        task2_ = c.task2;
        app_->PointCnt = 0.0f;
        Periods(3);
        EXPECT_EQ(app_->Point, c.point) << c.freq << " Hz, " << c.task2 << " s";
        EXPECT_LE(app_->PointCnt, std::max(app_->Point, 3.0f));
        EXPECT_TRUE(std::isfinite(app_->set_Upod_cmd));
    }
}

// The washout is designed with the task-1 period but steps once per task-2 period, so a power
// step decays as exp(-Tw Task1 n) over n task-2 steps; a constant power leaves no output,
// and equal lead and lag constants pass their input unchanged.
TEST_F(AppModeCtrlTest, DampingChainWashesOutAConstantPower) {
    app_->ena_POD = 1;
    ppcc_ = 6.0f;  // 0.2 per unit of 30 Mvar
    for (int n = 1; n <= 3000; ++n) {
        Periods(1);
        if (n % 500 == 0) {
            EXPECT_NEAR(app_->HPF_out, 0.2 * std::exp(-3.0 * 1e-4 * n), 2e-4) << n;
        }
        // Unchanged but for single-precision rounding, which the lag does not let build up.
        ASSERT_NEAR(app_->PODcor2_out, app_->PODcor1_out, 1e-4f * std::fabs(app_->PODcor1_out))
            << n;
    }
    Periods(40000);
    // Down from 0.1 x 0.2 to the rounding floor of the low-pass at its low corner.
    EXPECT_NEAR(app_->set_Upod_cmd, 0.0, 1e-4);
}

// A power sample that is not a number or infinite restarts the washout and the chain then
// decays as before; a zero rating or a huge power leaves it finite.
TEST_F(AppModeCtrlTest, BadPowerOrRatingLeavesNoNaNInTheChain) {
    app_->ena_POD = 1;
    ppcc_ = 6.0f;
    Periods(100);
    for (float p : {kNaN, std::numeric_limits<float>::infinity(), kNaN}) {
        ppcc_ = p;
        Periods(1);
        EXPECT_TRUE(std::isfinite(app_->set_Upod_cmd)) << p;
    }
    ppcc_ = 6.0f;  // a step from rest again: the chain responds and washes out
    float peak = 0.0f;
    for (int n = 0; n < 50000; ++n) {
        Periods(1);
        peak = std::max(peak, std::fabs(app_->set_Upod_cmd));
    }
    EXPECT_TRUE(NonFiniteFloats(*env_->variables, "AppModeCtrl").empty());
    EXPECT_GT(peak, 5e-3f);
    EXPECT_LE(std::fabs(app_->set_Upod_cmd), 1e-4f);
    qn_ = 0.0f;
    Periods(2);
    ppcc_ = 1e38f;
    qn_ = 1e-30f;
    Periods(2);
    EXPECT_TRUE(NonFiniteFloats(*env_->variables, "AppModeCtrl").empty());
}

// The modulation of one task-2 period enters the voltage error of the next: mode control runs
// before damping in task list 2.
TEST_F(AppModeCtrlTest, ModulationShiftsTheVoltageErrorOfModeControl) {
    app_->ena_POD = 1;
    app_->ena_PODtest = 1;
    app_->parm_PODtest_mag = 0.01f;
    Mode(1);
    Running(true);
    ufbk_ = 0.98f;
    for (int n = 0; n < 300; ++n) {
        const float previous = app_->set_Upod_cmd;
        Periods(1);
        ASSERT_FLOAT_EQ(mc_->err_Umode, 1.0f - 0.98f + previous) << n;
    }
}

}  // namespace
}  // namespace svg::testing
