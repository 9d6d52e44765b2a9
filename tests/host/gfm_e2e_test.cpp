// Grid-forming control end to end through the exported functions: the ratings, a stiff 35 kV
// grid on the control PT and an average-value converter (77 cells on a stiff 500 V DC source
// each, behind the 13 mH reactor) driven by the modulation references. With grid-forming
// allowed on channel 124 and the converter deblocked, the module publishes its own frequency
// and angle, which stay on the grid's; switching it on and off does not kick the modulation;
// a voltage dip ends it at once and it resumes after the ride-through hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

enum : int { kChGridTheta = 5, kChLvrt = 9, kChUdFil = 21, kChW = 25, kChTheta, kChE };
enum : int { kChEFinal = 30, kChGfmMode = 124 };
constexpr double kCellVolts = 500.0;
constexpr double kCells = 77.0;
constexpr double kReactorHenry = 0.013;
constexpr int kHoldSteps = 2000;  // the registered ride-through hold, 0.2 s
constexpr int kTask2Steps = 10;   // the operating mode's error is refreshed every tenth step
// Phase peak of 35 kV over 77 cells at 500 V: the modulation of 1 pu voltage.
const double kIndexAmplitude = 35e3 * std::sqrt(2.0 / 3.0) / (kCells * kCellVolts);
// What the reactive command of 0.5 pu current drops across the 0.1 pu reactor, in modulation.
const double kReactorDrop = 0.5 * 0.1 * kIndexAmplitude;

class GfmEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        SetRatings(run_);
        run_.in[69] = run_.in[70] = kCellVolts;  // MeterCtrl's and UdcVolCtrl's rated cells
        SetCellDc(run_, kCellVolts);
        run_.in[66] = 15.0;  // 0.5 pu reactive command: references well away from 0
        ASSERT_EQ(run_.Init(), 0);
    }
    // Steps at `kv`; returns the largest change of a modulation reference against the same
    // point of the last 50 Hz cycle (200 steps), which a steady converter repeats.
    double Run(int steps, double kv = 35.0) {
        double change = 0.0;
        for (int k = 0; k < steps; ++k) {
            drive_.StepConverter(kCells * kCellVolts, kReactorHenry, 50.0, kv);
            for (int ph = 0; ph < 3; ++ph) {
                change = std::max(change, std::abs(run_.out[ph] - history_[pos_][ph]));
                history_[pos_][ph] = run_.out[ph];
            }
            pos_ = (pos_ + 1) % kCycleSteps;
        }
        return change;
    }
    // Inactive, the module's angle is the loop's angle of the same step, bit for bit, and the
    // magnitude regulator is off: the magnitude is the set-point 1. Active, the regulator
    // integrates the operating mode's reactive-power error at once.
    bool Inactive() const {
        return run_.out[kChTheta] == run_.out[kChGridTheta] && run_.out[kChE] == 1.0;
    }
    bool Active() const { return run_.out[kChE] != 1.0; }

    static constexpr int kCycleSteps = 200;
    GridDrive drive_;
    HostRun& run_ = drive_.run;
    double history_[kCycleSteps][3] = {};
    int pos_ = 0;
};

TEST_F(GfmEndToEnd, FormsTheGridBumplesslyAndYieldsToARideThrough) {
    // Started as a grid-following converter: cluster filters full, running, then deblocked.
    Run(1000);
    SetCommands(run_, false, true);
    Run(1000);
    SetCommands(run_, true, true);
    Run(3000);
    const double steady = Run(200);  // how closely the modulation repeats itself
    EXPECT_TRUE(Inactive());

    run_.in[kChGfmMode] = 1.0;
    const double switching = Run(1);
    EXPECT_TRUE(Active());
    const double on_jump = std::max(switching, Run(20));
    double worst_angle = 0.0, worst_freq = 0.0;
    for (int k = 0; k < 3000; ++k) {
        Run(1);
        worst_angle =
            std::max(worst_angle, std::abs(TurnError(run_.out[kChTheta], run_.out[kChGridTheta])));
        worst_freq = std::max(worst_freq, std::abs(run_.out[kChW] - 1.0));
        ASSERT_GE(run_.out[kChTheta], 0.0);
        ASSERT_LT(run_.out[kChTheta], 1.0);
    }
    EXPECT_LT(worst_angle, 1e-3);
    EXPECT_LT(worst_freq, 1e-3);
    EXPECT_NEAR(run_.out[kChUdFil], 1.0, 0.02);
    EXPECT_NEAR(run_.out[kChEFinal], run_.out[kChE], 0.0);
    EXPECT_NEAR(run_.out[kChEFinal], 1.0, 0.2 + 1e-6);

    // A dip to half the voltage: the low-voltage ride-through ends grid-forming in the step
    // that raises it; once the dip clears, grid-forming resumes after the hold.
    int lvrt_on = -1, lvrt_off = -1, resumed = -1;
    for (int k = 0; k < 6000 && resumed < 0; ++k) {
        Run(1, k < 1000 ? 17.5 : 35.0);
        if (run_.out[kChLvrt] != 0.0) {
            lvrt_on = lvrt_on < 0 ? k : lvrt_on;
            lvrt_off = k;
            EXPECT_TRUE(Inactive()) << k;
        } else if (lvrt_on >= 0 && Active()) {
            resumed = k;
        }
    }
    ASSERT_GE(lvrt_on, 0);
    EXPECT_GE(resumed - lvrt_off, kHoldSteps);
    EXPECT_LE(resumed - lvrt_off, kHoldSteps + kTask2Steps);

    Run(3000);
    const double before_off = Run(200);
    run_.in[kChGfmMode] = 0.0;
    const double off_jump = Run(21);
    EXPECT_TRUE(Inactive());
    // The converter repeats its modulation from cycle to cycle before each switch; switching
    // over changes it by far less than the reactor drop a grid-forming loop started from
    // empty states would swing through.
    EXPECT_LT(steady, 0.05 * kReactorDrop);
    EXPECT_LT(before_off, 0.05 * kReactorDrop);
    EXPECT_LT(on_jump, 0.2 * kReactorDrop);
    EXPECT_LT(off_jump, 0.2 * kReactorDrop);
}

}  // namespace
}  // namespace svg::testing
