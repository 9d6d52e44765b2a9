// Measurement and synchronisation end to end: a balanced grid on the PT4 channels, the
// ratings on their host channels, and what the outputs make of it.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "support/host_run.h"
#include "support/temp_dir.h"

namespace svg::testing {
namespace {

constexpr double kDt = 1e-4;  // host step, equal to the default task-1 period
constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Host channels a host sets for a run: rated 30 Mvar, 35 kV, 13 mH, 77 cells; PCC 220 kV, coupling
// transformer 35/10 kV.
void SetRatings(HostRun& run, double nominal_hz) {
    run.in[60] = 30.0;
    run.in[61] = 35.0;
    run.in[62] = nominal_hz;
    run.in[63] = 13.0;
    run.in[64] = 4.1;
    run.in[65] = 77.0;
    run.in[68] = 220.0;
    run.in[71] = 35.0;
    run.in[72] = 10.0;
    run.in[47] = 1.0;   // PCC site PT1, the parameter's default; 0 is outside its range
    run.in[84] = 21.2;  // loop gains: the host writes them at every step
    run.in[85] = 1413.7;
}

// Balanced line voltage `kv` (RMS, line to line) on PT4 at angle `phase` (radians) of phase a.
void SetPt4(HostRun& run, double kv, double phase) {
    const double peak = kv * 1000.0 * std::sqrt(2.0 / 3.0);
    for (int ph = 0; ph < 3; ++ph) {
        run.in[9 + ph] = peak * std::cos(phase - ph * kTwoPi / 3.0);
        run.in[21 + ph] = kv * 1000.0;
    }
}

// Hall currents of `amps` peak at angle `phase` (radians) of phase a.
void SetHall(HostRun& run, double amps, double phase) {
    for (int ph = 0; ph < 3; ++ph) {
        run.in[33 + ph] = amps * std::cos(phase - ph * kTwoPi / 3.0);
    }
}

// Wraps a difference of angles in turns into [-0.5, 0.5).
double TurnError(double a, double b) {
    double d = std::fmod(a - b, 1.0);
    if (d < -0.5) {
        d += 1.0;
    }
    if (d >= 0.5) {
        d -= 1.0;
    }
    return d;
}

// Peak current of the rated reactive power at 35 kV: 30 MVA / (sqrt(3) 35 kV) RMS.
const double kRatedPeakAmps = 30e6 / (std::sqrt(3.0) * 35e3) * std::sqrt(2.0);

class Measurement : public ::testing::Test {
  protected:
    // Runs from the current time for `seconds` with a grid of `hz`; the phase angle of the
    // grid is carried on so frequency changes are continuous. `current_shift` (radians) places
    // the Hall currents against the voltage; `current_amps` 0 leaves them at zero.
    void Run(double seconds, double hz, double current_amps = 0.0, double current_shift = 0.0) {
        const int steps = static_cast<int>(std::lround(seconds / kDt));
        for (int k = 0; k < steps; ++k) {
            phase_ += kTwoPi * hz * kDt;
            if (phase_ >= kTwoPi) {
                phase_ -= kTwoPi;
            }
            SetPt4(run_, 35.0, phase_);
            SetHall(run_, current_amps, phase_ + current_shift);
            time_ += kDt;
            run_.Step(time_);
        }
    }
    // The loop publishes the angle it predicts for the next step (the angle integrates the
    // loop frequency over one task period), so the reference is the grid one step ahead.
    double NextGridTurns(double hz) const { return phase_ / kTwoPi + hz * kDt; }

    TempWorkDir dir_;
    HostRun run_;
    double phase_ = 0.0;
    double time_ = 0.0;
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
    const double lead = kTwoPi * 50.0 * kDt;
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
        time_ += kDt;
        run_.Step(time_);
    }
    Run(2.0, 50.0);
    EXPECT_NEAR(run_.out[6], 50.0, 0.02);
    EXPECT_NEAR(TurnError(run_.out[5], NextGridTurns(50.0)), 0.0, 0.0005);
    EXPECT_NEAR(run_.out[31], 35.0, 0.05);
}

}  // namespace
}  // namespace svg::testing
