// The current loops end to end through the exported functions: the ratings, a balanced 35 kV
// grid on the control PT and an average-value converter (77 cells on a stiff 500 V DC source
// each, behind the 13 mH reactor) driven by the modulation references. The references are
// the grid voltage over the cluster DC voltage, the reactive current follows its reference,
// the balance coefficients follow their host inputs, and spoilt measurements are forgotten.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

constexpr int kChIqRef = 15;
constexpr int kChIqFbk = 16;
constexpr int kChBalance = 17;
constexpr double kCellVolts = 500.0;
constexpr double kCells = 77.0;
constexpr double kReactorHenry = 0.013;
// Phase peak of 35 kV (the valve voltage base without transformer) over 77 cells at 500 V.
const double kIndexAmplitude = 35e3 * std::sqrt(2.0 / 3.0) / (kCells * kCellVolts);

struct Cycle {
    std::array<double, 3> peak{};  // largest magnitude per phase
    double lowest = 0.0;           // smallest value of any phase
    double highest = 0.0;
    double common = 0.0;  // largest |a + b + c|
};

class CurrentLoopEndToEnd : public ::testing::Test {
  protected:
    void SetUp() override {
        SetRatings(run_);
        run_.in[69] = run_.in[70] = kCellVolts;  // MeterCtrl's and UdcVolCtrl's rated cells
        SetCellDc(run_, kCellVolts);
        for (int ph = 0; ph < 3; ++ph) {
            run_.in[36 + ph] = 400.0;  // divisors of the phase balance
        }
        ASSERT_EQ(run_.Init(), 0);
    }
    void Run(double seconds, double kv = 35.0) {
        for (long k = std::lround(seconds / kHostDt); k > 0; --k) {
            drive_.StepConverter(kCells * kCellVolts, kReactorHenry, 50.0, kv);
        }
    }
    // The cells sit on a stiff DC source, so the DC regulators have no plant to undo what they
    // integrate: the run starts once the cluster filters are full and deblocks once the DC
    // reference has followed the cells.
    void StartConverter() {
        Run(0.1);
        SetCommands(run_, false, true);
        Run(0.1);
        SetCommands(run_, true, true);
    }
    // One 50 Hz cycle of the modulation references.
    Cycle Measure() {
        Cycle c;
        c.lowest = c.highest = run_.out[0];
        for (int k = 0; k < 200; ++k) {
            Run(kHostDt);
            for (int ph = 0; ph < 3; ++ph) {
                const double m = run_.out[ph];
                c.peak[ph] = std::max(c.peak[ph], std::abs(m));
                c.lowest = std::min(c.lowest, m);
                c.highest = std::max(c.highest, m);
            }
            c.common = std::max(c.common, std::abs(run_.out[0] + run_.out[1] + run_.out[2]));
        }
        return c;
    }
    void ExpectGridOverClusterVoltage(double tolerance) {
        const Cycle c = Measure();
        for (double peak : c.peak) {
            EXPECT_NEAR(peak, kIndexAmplitude, tolerance * kIndexAmplitude);
        }
        EXPECT_GE(c.lowest, -1.0);
        EXPECT_LE(c.highest, 1.0);
        EXPECT_LT(c.common, 1e-3);
    }

    GridDrive drive_;
    HostRun& run_ = drive_.run;
};

// Blocked, the references carry the grid voltage feed-forward alone; deblocked, the loops
// hold the converter current at its reference, so the references stay the grid voltage over
// the cluster voltage up to the reactor drop (0.1 pu reactance times 0.05 pu current). A
// reactive command of 15 Mvar (0.5 pu) is then followed by the measured reactive current.
TEST_F(CurrentLoopEndToEnd, ReferencesAreTheGridOverTheClusterVoltageAndTheCurrentFollows) {
    Run(0.1);
    SetCommands(run_, false, true);
    Run(0.5);
    ExpectGridOverClusterVoltage(0.01);
    SetCommands(run_, true, true);
    Run(0.5);
    ExpectGridOverClusterVoltage(0.01);
    EXPECT_NEAR(run_.out[kChIqFbk], run_.out[kChIqRef], 0.002);
    EXPECT_NEAR(run_.out[11], kCellVolts, 0.5);  // the mean cell voltage the index uses

    run_.in[66] = 15.0;
    Run(2.0);
    EXPECT_NEAR(std::abs(run_.out[kChIqRef]), 0.5, 0.01);
    EXPECT_NEAR(run_.out[kChIqFbk], run_.out[kChIqRef], 0.01);
    const Cycle c = Measure();
    EXPECT_LE(c.highest, 1.0);
    // The reactor drop of 0.5 pu current changes the converter voltage by 0.05 pu.
    EXPECT_NEAR(c.peak[0], kIndexAmplitude, 0.06 * kIndexAmplitude);
    EXPECT_GT(std::abs(c.peak[0] - kIndexAmplitude), 0.03 * kIndexAmplitude);
}

// Coefficient = 0.4 / 500 V * limit(Hall current / (sqrt 2 * divisor), +-2), per phase, from
// the host inputs of the same step.
TEST_F(CurrentLoopEndToEnd, BalanceCoefficientsFollowTheirHostInputs) {
    StartConverter();
    run_.in[66] = 15.0;
    for (int k = 0; k < 3000; ++k) {
        Run(kHostDt);
        for (int ph = 0; ph < 3; ++ph) {
            const double ratio = run_.in[33 + ph] / (std::sqrt(2.0) * run_.in[36 + ph]);
            const double expected = 0.4 / kCellVolts * std::clamp(ratio, -2.0, 2.0);
            ASSERT_NEAR(run_.out[kChBalance + ph], expected, 1e-6 * 0.4 / kCellVolts * 2) << k;
        }
    }
}

struct BadInput {
    const char* name;
    int first, last;  // host channels the host spoils
    double value;
};

class CurrentLoopBadInput : public CurrentLoopEndToEnd,
                            public ::testing::WithParamInterface<BadInput> {};

// 50 ms of a spoilt measurement or rating while deblocked: the references stay inside
// [-1, 1] throughout, and once the host sends sane values again the loops bring the converter
// back to the grid voltage over the cluster voltage.
TEST_P(CurrentLoopBadInput, ReferencesStayBoundedAndRecover) {
    const BadInput& c = GetParam();
    StartConverter();
    Run(0.3);
    const auto saved = run_.in;
    for (int k = 0; k < 500; ++k) {
        Run(kHostDt);
        for (int ch = c.first; ch <= c.last; ++ch) {
            run_.in[ch] = c.value;  // overrides what the converter and grid put there
        }
        drive_.StepAsSet();
        for (int ph = 0; ph < 3; ++ph) {
            ASSERT_TRUE(run_.out[ph] >= -1.0 && run_.out[ph] <= 1.0) << k << " " << run_.out[ph];
        }
    }
    for (int ch = c.first; ch <= c.last; ++ch) {
        run_.in[ch] = saved[ch];
    }
    Run(3.0);
    const Cycle cycle = Measure();
    for (double peak : cycle.peak) {
        EXPECT_NEAR(peak, kIndexAmplitude, 0.02 * kIndexAmplitude);
    }
    EXPECT_LT(cycle.common, 1e-3);
}

INSTANTIATE_TEST_SUITE_P(CurrentLoopEndToEnd, CurrentLoopBadInput,
                         ::testing::Values(BadInput{"NaNCellVoltages", 39, 41, std::nan("")},
                                           BadInput{"ZeroCellVoltages", 39, 41, 0.0},
                                           BadInput{"HugeHallCurrents", 33, 35, 1e30},
                                           BadInput{"NaNGridVoltages", 9, 11, std::nan("")},
                                           BadInput{"ZeroNominalFrequency", 62, 62, 0.0},
                                           BadInput{"NaNCurrentGains", 88, 89, std::nan("")},
                                           BadInput{"ZeroCellCount", 65, 65, 0.0}),
                         [](const ::testing::TestParamInfo<BadInput>& param) {
                             return std::string(param.param.name);
                         });

}  // namespace
}  // namespace svg::testing
