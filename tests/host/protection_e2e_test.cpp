// Protection and the whole controller end to end through the exported functions.
//
// Each protection case enables its element and sets its thresholds and pick-up delay on the
// element's host channels, runs a locked, running controller on a healthy grid, pushes the
// measured quantity past the pick-up threshold and brings it back: the element's flag (and the
// combined flag on channel 20) rises exactly when the quantity has been past the threshold
// for the pick-up delay and falls on the first step back inside the drop-out threshold.
//
// The full run then drives an average-value converter with every setting at its registered
// value: every output channel that is live in that state is finite and non-zero, the
// protection and ride-through flags stay clear.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>
#include <vector>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

constexpr double kCellVolts = 500.0;
constexpr double kCells = 77.0;
constexpr double kReactorHenry = 0.013;
constexpr double kLineVolts = 35e3;
constexpr int kChCombined = 20;
constexpr int kChFrequency = 6;

// Thresholds in the units of the measured channels: the line RMS voltages of channels
// 21..23 in volts. Three over-voltage stages at 1.1, 1.2 and 1.3 times rated and three
// under-voltage stages at 0.9, 0.8 and 0.5, each returning 0.05 inside, with pick-up
// delays of 10 ms, 5 ms and none.
template <class Run>
void SetVoltageStages(Run& run) {
    const double over[3] = {1.1, 1.2, 1.3};
    const double under[3] = {0.9, 0.8, 0.5};
    const double delay[3] = {0.01, 0.005, 0.0};
    for (int k = 0; k < 3; ++k) {
        run.in[106 + 3 * k] = over[k] * kLineVolts;
        run.in[107 + 3 * k] = (over[k] - 0.05) * kLineVolts;
        run.in[108 + 3 * k] = delay[k];
        run.in[115 + 3 * k] = under[k] * kLineVolts;
        run.in[116 + 3 * k] = (under[k] + 0.05) * kLineVolts;
        run.in[117 + 3 * k] = delay[k];
    }
}

struct Case {
    std::string name;
    std::vector<std::pair<int, double>> settings;  // host channel, value
    int flag_channel;                              // -1: only the combined flag
    bool over;
    double pickup, dropout;
    int delay_steps;
    // The quantity the element measures after a step, as the host sees it, and the drive of
    // one step with the disturbance on or off.
    int measured_channel;
    double hz_on, kv_on, dc_on, hall_on;
};

const Case kCases[] = {
    {"OverFrequency",
     {{58, 1}, {100, 51.0}, {101, 50.5}, {102, 0.02}},
     32,
     true,
     51.0,
     50.5,
     200,
     kChFrequency,
     52.0,
     35.0,
     kCellVolts,
     0.0},
    {"UnderFrequency",
     {{59, 1}, {103, 49.0}, {104, 49.5}, {105, 0.01}},
     33,
     false,
     49.0,
     49.5,
     100,
     kChFrequency,
     48.0,
     35.0,
     kCellVolts,
     0.0},
    {"OverVoltageStage1",
     {},
     34,
     true,
     1.1 * kLineVolts,
     1.05 * kLineVolts,
     100,
     21,
     50.0,
     1.25 * 35.0,
     kCellVolts,
     0.0},
    {"OverVoltageStage2",
     {},
     35,
     true,
     1.2 * kLineVolts,
     1.15 * kLineVolts,
     50,
     21,
     50.0,
     1.25 * 35.0,
     kCellVolts,
     0.0},
    {"OverVoltageStage3",
     {},
     36,
     true,
     1.3 * kLineVolts,
     1.25 * kLineVolts,
     0,
     21,
     50.0,
     1.35 * 35.0,
     kCellVolts,
     0.0},
    {"UnderVoltageStage1",
     {},
     37,
     false,
     0.9 * kLineVolts,
     0.95 * kLineVolts,
     100,
     21,
     50.0,
     0.75 * 35.0,
     kCellVolts,
     0.0},
    {"UnderVoltageStage3",
     {},
     39,
     false,
     0.5 * kLineVolts,
     0.55 * kLineVolts,
     0,
     21,
     50.0,
     0.3 * 35.0,
     kCellVolts,
     0.0},
    {"DcOverVoltage",
     {{57, 1}, {98, 550.0}, {99, 520.0}},
     -1,
     true,
     550.0,
     520.0,
     0,
     39,
     50.0,
     35.0,
     600.0,
     0.0},
    // A direct current of ten times the rated peak on the Hall input of phase a, negative:
    // the sensors count into the converter and the control out of it, so phase a reads far
    // past 1.3 per unit.
    {"HallOverCurrent",
     {{56, 1}, {96, 1.3}, {97, 1.2}},
     -1,
     true,
     0.0,
     0.0,
     0,
     -1,
     50.0,
     35.0,
     kCellVolts,
     -10.0 * kRatedPeakAmps},
};

class ProtectionEndToEnd : public ::testing::TestWithParam<Case> {
  protected:
    // One host step: the grid advanced at `hz`, PT4 at `kv`, the cell voltages and a direct
    // Hall current on phase a.
    void Step(double hz, double kv, double dc, double hall) {
        phase_ += kTwoPi * hz * kHostDt;
        phase_ = std::fmod(phase_, kTwoPi);
        SetPt4(run_, kv, phase_);
        SetCellDc(run_, dc);
        run_.in[33] = hall;
        run_.in[34] = 0.0;
        run_.in[35] = 0.0;
        drive_.StepAsSet();
    }
    double Measured(const Case& c) const {
        return c.measured_channel == kChFrequency ? run_.out[kChFrequency]
                                                  : run_.in[c.measured_channel];
    }
    GridDrive drive_;
    HostRun& run_ = drive_.run;
    double phase_ = 0.0;
};

TEST_P(ProtectionEndToEnd, FlagRisesAfterThePickupDelayAndFallsInsideTheDropout) {
    const Case& c = GetParam();
    SetRatings(run_);
    run_.in[69] = run_.in[70] = kCellVolts;
    SetVoltageStages(run_);
    for (const auto& [channel, value] : c.settings) {
        run_.in[channel] = value;
    }
    ASSERT_EQ(run_.Init(), 0);
    for (int k = 0; k < 3000; ++k) {  // the loop locks on the healthy grid
        Step(50.0, 35.0, kCellVolts, 0.0);
    }
    SetCommands(run_, false, true);  // running: the gate of every element
    for (int k = 0; k < 2000; ++k) {
        Step(50.0, 35.0, kCellVolts, 0.0);
        ASSERT_EQ(run_.out[kChCombined], 0.0) << "step " << k;
    }
    const auto past = [&](double threshold) {
        const double x = Measured(c);
        return c.over ? x > threshold : threshold > x;
    };
    const int flag_channel = c.flag_channel >= 0 ? c.flag_channel : kChCombined;
    // Disturbance: count the steps the quantity has been past the pick-up threshold.
    int past_steps = 0;
    int k = 0;
    for (; k < 3000 && run_.out[flag_channel] == 0.0; ++k) {
        Step(c.hz_on, c.kv_on, c.dc_on, c.hall_on);
        past_steps = c.measured_channel < 0 || past(c.pickup) ? past_steps + 1 : 0;
        EXPECT_GE(run_.out[kChCombined], run_.out[flag_channel]) << "step " << k;
    }
    ASSERT_EQ(run_.out[flag_channel], 1.0) << "no pick-up within 0.3 s";
    EXPECT_EQ(past_steps, std::max(c.delay_steps, 1));
    // Back to the healthy grid: the flag falls on the first step inside the drop-out threshold
    // and the combined flag with it.
    for (k = 0; k < 3000 && run_.out[flag_channel] != 0.0; ++k) {
        Step(50.0, 35.0, kCellVolts, 0.0);
        if (c.measured_channel >= 0) {
            EXPECT_EQ(run_.out[flag_channel], past(c.dropout) ? 1.0 : 0.0) << "step " << k;
        } else {
            EXPECT_EQ(run_.out[flag_channel], 0.0);
        }
    }
    EXPECT_EQ(run_.out[flag_channel], 0.0) << "no drop-out within 0.3 s";
    EXPECT_EQ(run_.out[kChCombined], 0.0);
}

INSTANTIATE_TEST_SUITE_P(Elements, ProtectionEndToEnd, ::testing::ValuesIn(kCases),
                         [](const auto& p) { return p.param.name; });

// The whole controller against an average-value converter, settings at their registered
// values, a reactive command of half the rating and the cells 1 % below their reference:
// outputs finite, the live ones non-zero at
// some step of the last cycle, the flags clear.
TEST(WholeController, EveryLiveOutputIsFiniteAndNonZeroAndEveryFlagClear) {
    GridDrive drive;
    HostRun& run = drive.run;
    SetRatings(run);
    run.in[69] = run.in[70] = kCellVolts;
    SetCellDc(run, 0.99 * kCellVolts);  // 1 % below the reference: the DC loop asks for power
    SetVoltageStages(run);
    run.in[66] = 15.0;
    ASSERT_EQ(run.Init(), 0);
    for (int k = 0; k < 8000; ++k) {
        if (k == 1000) {
            SetCommands(run, false, true);
        }
        if (k == 2000) {
            SetCommands(run, true, true);
        }
        drive.StepConverter(kCells * kCellVolts, kReactorHenry);
    }
    const std::vector<int> flags = {9, 10, 20, 32, 33, 34, 35, 36, 37, 38, 39};
    std::vector<bool> live(40, false);
    for (int k = 0; k < 200; ++k) {
        drive.StepConverter(kCells * kCellVolts, kReactorHenry);
        for (int ch = 0; ch < 40; ++ch) {
            ASSERT_TRUE(std::isfinite(run.out[ch])) << "channel " << ch;
            live[ch] = live[ch] || run.out[ch] != 0.0;
        }
        for (int ch = 40; ch < 200; ++ch) {
            ASSERT_EQ(run.out[ch], 0.0) << "unbound channel " << ch;
        }
    }
    for (int ch = 0; ch < 40; ++ch) {
        const bool flag = std::find(flags.begin(), flags.end(), ch) != flags.end();
        EXPECT_EQ(live[ch], !flag) << "channel " << ch;
    }
}

}  // namespace
}  // namespace svg::testing
