// Measurement and synchronisation end to end: a balanced grid on the PT4 channels, the
// ratings on their host channels, and what the outputs make of it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

// A run of the measurement chain with the default ratings; `Run` takes the Hall current's
// amplitude and shift as its last two arguments.
class Measurement : public ::testing::Test {
  protected:
    void Run(double seconds, double hz, double current_amps = 0.0, double current_shift = 0.0) {
        drive_.Run(seconds, hz, 35.0, current_amps, current_shift);
    }
    double NextGridTurns(double hz) const { return drive_.NextGridTurns(hz); }

    GridDrive drive_;
    HostRun& run_ = drive_.run;
};

TEST_F(Measurement, LoopLocksToA50HzGridAndReportsItsAngleFrequencyAndVoltage) {
    SetRatings(run_, 50.0);
    ASSERT_EQ(run_.Init(0, 0), 0);
    Run(1.0, 50.0);
    EXPECT_NEAR(run_.out[6], 50.0, 0.02);
    EXPECT_NEAR(TurnError(run_.out[5], NextGridTurns(50.0)), 0.0, 0.0005);
    EXPECT_GE(run_.out[5], 0.0);
    EXPECT_LT(run_.out[5], 1.0);
    EXPECT_NEAR(run_.out[31], 35.0, 0.05);
    EXPECT_NEAR(run_.out[7], 1.0, 0.01);  // positive-sequence voltage, per unit
}

TEST_F(Measurement, LoopFollowsAFrequencyStep) {
    SetRatings(run_, 50.0);
    ASSERT_EQ(run_.Init(0, 0), 0);
    Run(1.0, 50.0);
    Run(1.0, 50.5);
    EXPECT_NEAR(run_.out[6], 50.5, 0.02);
    EXPECT_NEAR(TurnError(run_.out[5], NextGridTurns(50.5)), 0.0, 0.0005);
}

TEST_F(Measurement, LoopLocksToA60HzGridWithA60HzNominalFrequency) {
    SetRatings(run_, 60.0);
    ASSERT_EQ(run_.Init(0, 0), 0);
    Run(1.0, 60.0);
    EXPECT_NEAR(run_.out[6], 60.0, 0.02);
    EXPECT_NEAR(TurnError(run_.out[5], NextGridTurns(60.0)), 0.0, 0.0005);
}

TEST_F(Measurement, HallCurrentsGiveTheConverterReactivePowerAndTheirSequenceComponents) {
    SetRatings(run_, 50.0);
    ASSERT_EQ(run_.Init(0, 0), 0);
    // The current transformation runs after the loop in the same step and so turns this
    // step's currents by the angle predicted for the next step: one task period ahead.
    const double lead = kTwoPi * 50.0 * kHostDt;
    const double half = 0.5;
    // Half the rated current, 90 degrees off the voltage: half the rated reactive power.
    Run(1.0, 50.0, half * kRatedPeakAmps, -std::numbers::pi / 2.0);
    const double q_lag = run_.out[8];
    const double iq_lag = run_.out[16];
    EXPECT_NEAR(std::fabs(q_lag), half, 0.005);
    EXPECT_NEAR(std::fabs(iq_lag), half * std::cos(lead), 0.002);
    EXPECT_NEAR(std::fabs(run_.out[14]), half * std::sin(lead), 0.002);
    // The opposite shift reverses the reactive power and the q component.
    Run(0.5, 50.0, half * kRatedPeakAmps, std::numbers::pi / 2.0);
    EXPECT_NEAR(run_.out[8], -q_lag, 0.005);
    EXPECT_NEAR(run_.out[16], -iq_lag, 0.002);
    // In phase with the voltage: the current lies on the d axis but for the lead.
    Run(0.5, 50.0, half * kRatedPeakAmps, 0.0);
    EXPECT_NEAR(std::fabs(run_.out[14]), half * std::cos(lead), 0.002);
    EXPECT_NEAR(std::fabs(run_.out[16]), half * std::sin(lead), 0.002);
    EXPECT_NEAR(std::hypot(run_.out[14], run_.out[16]), half, 0.002);
}

// Bad ratings from the host: the outputs stay finite and come back once the ratings do.
TEST_F(Measurement, BadRatingsAndMeasurementsNeverBreakTheLoopForGood) {
    SetRatings(run_, 50.0);
    ASSERT_EQ(run_.Init(0, 0), 0);
    Run(0.5, 50.0);
    const double nan = std::nan("");
    const double bad[] = {0.0, -50.0, nan, INFINITY, 1e300, 5.0, 1e-30};
    for (int channel : {60, 61, 62, 63, 64, 65, 68, 71, 72}) {
        for (double value : bad) {
            run_.in[channel] = value;
            Run(0.02, 50.0);
            for (int out = 0; out < 40; ++out) {
                ASSERT_TRUE(std::isfinite(run_.out[out]))
                    << "channel " << channel << " = " << value << ", output " << out;
            }
        }
        SetRatings(run_, 50.0);
    }
    // Selector bytes outside their ranges, and NaN or huge measurements.
    for (int channel : {46, 47, 51}) {
        run_.in[channel] = 200.0;
        Run(0.05, 50.0);
        run_.in[channel] = 0.0;
    }
    run_.in[46] = 0.0;
    run_.in[47] = 1.0;
    run_.in[51] = 0.0;
    for (double value : {nan, 1e38, -1e300}) {
        for (int ph = 0; ph < 3; ++ph) {
            run_.in[9 + ph] = value;
            run_.in[33 + ph] = value;
        }
        drive_.StepAsSet();
    }
    Run(2.0, 50.0);
    EXPECT_NEAR(run_.out[6], 50.0, 0.02);
    EXPECT_NEAR(TurnError(run_.out[5], NextGridTurns(50.0)), 0.0, 0.0005);
    EXPECT_NEAR(run_.out[31], 35.0, 0.05);
}

}  // namespace
}  // namespace svg::testing
