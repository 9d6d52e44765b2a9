// The current loops end to end through the exported functions: the ratings, a balanced 35 kV
// grid on the control PT, the cells at their rated voltage and an ideal converter whose
// current follows the published references. The modulation references on channels 0..2 are
// the grid voltage over the cluster DC voltage; the balance coefficients on 17..19 follow
// their host inputs; blocked, the loops hold and the references still carry the grid voltage.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

constexpr int kChIdRef = 13;
constexpr int kChIqRef = 15;
constexpr int kChBalance = 17;
constexpr double kCellVolts = 500.0;
constexpr double kCells = 77.0;
// Phase peak of 35 kV (the valve voltage base without transformer) over 77 cells at 500 V.
const double kIndexAmplitude = 35e3 * std::sqrt(2.0 / 3.0) / (kCells * kCellVolts);

const double kStepTurn = kTwoPi * 50.0 * kHostDt;  // grid angle of one host step, radians

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
    // Host steps with the converter current equal to the references of the last step, in the
    // signs of the current measurement (i = -Id cos(t) + Iq sin(t)) and at the angle the loop
    // predicts for the step, one step ahead of the grid.
    void Run(double seconds, double kv = 35.0) {
        for (long k = std::lround(seconds / kHostDt); k > 0; --k) {
            const double id = run_.out[kChIdRef];
            const double iq = run_.out[kChIqRef];
            drive_.Step(50.0, kv, std::hypot(id, iq) * kRatedPeakAmps,
                        std::atan2(-iq, -id) + kStepTurn);
        }
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

    GridDrive drive_;
    HostRun& run_ = drive_.run;
};

// Blocked, then deblocked: either way the three references are a balanced set inside [-1, 1]
// whose amplitude is the grid voltage over the cluster DC voltage, to within the decoupling
// and the loops' small correction. The cells sit on a fixed DC source, so the DC regulators
// have no plant to undo what they integrate: the run starts once the cluster filters are
// full and deblocks once the DC reference has followed the cells.
TEST_F(CurrentLoopEndToEnd, ModulationIsTheGridVoltageOverTheClusterVoltage) {
    Run(0.1);
    for (bool deblock : {false, true}) {
        SCOPED_TRACE(deblock ? "deblocked" : "blocked");
        SetCommands(run_, deblock, true);
        Run(1.0);
        const Cycle c = Measure();
        for (double peak : c.peak) {
            EXPECT_NEAR(peak, kIndexAmplitude, 0.02 * kIndexAmplitude);
        }
        EXPECT_GE(c.lowest, -1.0);
        EXPECT_LE(c.highest, 1.0);
        EXPECT_LT(c.common, 1e-3);
        EXPECT_NEAR(run_.out[11], kCellVolts, 1.0);  // the mean cell voltage the index uses
    }
}

// Coefficient = 0.4 / 500 V * limit(Hall current / (sqrt 2 * divisor), +-2), per phase, from
// the host inputs of the same step.
TEST_F(CurrentLoopEndToEnd, BalanceCoefficientsFollowTheirHostInputs) {
    SetCommands(run_, true, true);
    for (int k = 0; k < 300; ++k) {
        Run(kHostDt);
        for (int ph = 0; ph < 3; ++ph) {
            const double ratio = run_.in[33 + ph] / (std::sqrt(2.0) * run_.in[36 + ph]);
            const double expected = 0.4 / kCellVolts * std::clamp(ratio, -2.0, 2.0);
            ASSERT_NEAR(run_.out[kChBalance + ph], expected, 1e-6 * 0.4 / kCellVolts * 2) << k;
        }
    }
}

}  // namespace
}  // namespace svg::testing
