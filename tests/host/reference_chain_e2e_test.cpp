// Ride-through, DC voltage control and reference limiting end to end: a generated grid dips
// and swells, the cells charge, and the flags, the DC voltage and its command, the limited
// active reference and the reactive reference come out on their channels.
#include <gtest/gtest.h>

#include <cmath>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

constexpr double kNominalKv = 35.0;
constexpr double kCellRated = 2400.0;  // MeterCtrl's rated cell voltage, the per-unit base
constexpr double kUdcScale = 1050.0;   // UdcVolCtrl's rated cell voltage, the volt outputs
// Default levels as the library holds them (single precision).
constexpr double kLvrtIn = 0.88f;
constexpr double kLvrtOut = 0.9f;
constexpr double kHvrtIn = 1.12f;
constexpr double kHvrtOut = 1.1f;
constexpr double kIqMin = 0.05f;
constexpr int kExitDelaySteps = 100;  // 0.01 s

enum Out : int {
    kChUpos = 7,
    kChLvrt = 9,
    kChHvrt = 10,
    kChUdcMean = 11,
    kChUdcCmd = 12,
    kChIdSum = 13,
    kChIqSel = 15,
};

class ReferenceChain : public ::testing::Test {
  protected:
    void SetUp() override {
        SetRatings(run_);
        SetCellDc(run_, kCellRated);
        SetCommands(run_, true, true);
        run_.in[66] = 9.0;  // converter reactive power command, Mvar (mode 0 on channel 44)
        ASSERT_EQ(run_.Init(0, 0), 0);
    }
    double Ch(int channel) const { return run_.out[channel]; }
    // Steps at `kv` until `done` holds (at most `limit` steps); returns the steps taken, or -1.
    template <class F>
    int StepUntil(double kv, F&& done, int limit = 5000) {
        for (int n = 1; n <= limit; ++n) {
            drive_.Step(50.0, kv);
            if (done()) {
                return n;
            }
        }
        return -1;
    }
    // Steps at `kv` while the flag on `channel` is set and `still(voltage)` holds of the
    // voltage channel; then counts the steps until the flag clears.
    template <class F>
    int StepsToClear(double kv, int channel, F&& still) {
        EXPECT_EQ(Ch(channel), 1.0);
        int since = 0;
        for (int n = 0; n < 5000 && Ch(channel) != 0.0; ++n) {
            drive_.Step(50.0, kv);
            since = still(Ch(kChUpos)) ? 0 : since + 1;
        }
        return since;
    }

    GridDrive drive_;
    HostRun& run_ = drive_.run;
};

// A dip to 0.5 pu: the low-voltage flag rises in the step the filtered voltage reaches the
// entry level, the reactive reference becomes the pre-fault reference plus 1.5 x (0.9 - U)
// (times the round limit, 1 with the default fixed factor), and both clear 100 steps after
// the last low step once the voltage is back. A swell to 1.13 pu does the same for the
// high-voltage flag.
TEST_F(ReferenceChain, DipAndSwellRaiseAndClearTheRideThroughFlags) {
    drive_.Run(1.0);
    ASSERT_NEAR(Ch(kChUpos), 1.0, 0.01);
    EXPECT_EQ(Ch(kChLvrt), 0.0);
    EXPECT_EQ(Ch(kChHvrt), 0.0);
    // Before the dip the reference is the operating mode's: 0.3 per unit of capacitive
    // current for the 9 Mvar converter command of the constant reactive power mode.
    const double pre = Ch(kChIqSel);
    EXPECT_NEAR(pre, 0.3, 0.005);

    const int entry = StepUntil(0.5 * kNominalKv, [&] {
        const bool low = Ch(kChUpos) <= kLvrtIn;
        EXPECT_EQ(Ch(kChLvrt), low ? 1.0 : 0.0);
        return low;
    });
    ASSERT_GE(entry, 1);
    drive_.Run(0.3, 50.0, 0.5 * kNominalKv);
    const double u = Ch(kChUpos);
    EXPECT_NEAR(u, 0.5, 0.01);
    EXPECT_NEAR(Ch(kChIqSel), pre + 1.5 * (kLvrtOut - u), 5e-5);
    EXPECT_NEAR(Ch(kChIqSel), pre + 0.6, 0.02);
    EXPECT_EQ(Ch(kChHvrt), 0.0);

    EXPECT_EQ(StepsToClear(kNominalKv, kChLvrt, [](double v) { return v <= kLvrtOut; }),
              kExitDelaySteps);
    EXPECT_EQ(Ch(kChHvrt), 0.0);
    drive_.Run(0.5);
    EXPECT_NEAR(Ch(kChIqSel), pre, 0.005);

    const int swell = StepUntil(1.13 * kNominalKv, [&] {
        const bool high = Ch(kChUpos) > kHvrtIn;
        EXPECT_EQ(Ch(kChHvrt), high ? 1.0 : 0.0);
        return high;
    });
    ASSERT_GE(swell, 1);
    drive_.Run(0.3, 50.0, 1.13 * kNominalKv);
    EXPECT_EQ(Ch(kChLvrt), 0.0);
    // The injection 5 x (1.1 - U) is negative: an inductive reference.
    EXPECT_NEAR(Ch(kChIqSel), pre + 5.0 * (kHvrtOut - Ch(kChUpos)), 5e-5);
    EXPECT_EQ(StepsToClear(kNominalKv, kChHvrt, [](double v) { return v > kHvrtOut; }),
              kExitDelaySteps);
    EXPECT_EQ(Ch(kChLvrt), 0.0);
}

// Blocked, the DC command follows the cells at 0.9 of their rating; after deblocking it
// holds 0.8 ms, then ramps to the rated command at 10 per unit per second (1.05 V per step
// in this module's volts). The limited active reference stays within its 0.5 limit.
TEST_F(ReferenceChain, DcCommandRampsAfterDeblockAndTheActiveReferenceIsLimited) {
    SetCellDc(run_, 0.9 * kCellRated);
    SetCommands(run_, false, true);
    drive_.Run(0.5);
    EXPECT_NEAR(Ch(kChUdcMean), 0.9 * kUdcScale, 1e-3);
    EXPECT_NEAR(Ch(kChUdcCmd), 0.9 * kUdcScale, 1e-3);
    EXPECT_EQ(Ch(kChIdSum), 0.0);

    SetCommands(run_, true, true);
    double prev = Ch(kChUdcCmd);
    int held = 0;
    int ramp = 0;
    for (int n = 0; n < 300; ++n) {
        drive_.Step();
        const double cmd = Ch(kChUdcCmd);
        if (cmd == prev && ramp == 0) {
            ++held;
        } else if (cmd < kUdcScale - 1e-3) {
            EXPECT_NEAR(cmd - prev, 10.0 * kHostDt * kUdcScale, 1e-3) << n;
            ++ramp;
        }
        EXPECT_LE(std::fabs(Ch(kChIdSum)), 0.5) << n;
        prev = cmd;
    }
    EXPECT_EQ(held, 8);
    EXPECT_NEAR(ramp, 100, 1);  // 0.1 per unit at 0.001 per step
    EXPECT_NEAR(Ch(kChUdcCmd), kUdcScale, 1e-3);
    // The cells stay at 0.9: the regulator asks for charging current up to the limit.
    drive_.Run(0.5);
    EXPECT_EQ(Ch(kChIdSum), 0.5);
}

// Bad settings and measurements from the host: the limits of channels 82, 83 and 95
// negative, NaN or huge, a bad nominal frequency, NaN or huge cell voltages, zero ratings.
// The outputs stay finite (the measured mean shows what the cells report) and the chain is
// back to normal once the inputs are.
TEST_F(ReferenceChain, BadHostValuesNeverBreakTheChainForGood) {
    drive_.Run(0.5);
    const double nan = std::nan("");
    const double bad[] = {nan, -1.0, 1e300, -1e300, INFINITY, 0.0};
    for (int channel : {82, 83, 95, 62, 39, 60, 61, 70, 86}) {
        for (double value : bad) {
            run_.in[channel] = value;
            drive_.Run(0.02);
            for (int out = 0; out < 40; ++out) {
                if ((channel == 39 || channel == 70) && out == kChUdcMean) {
                    continue;
                }
                if (channel == 70 && out == kChUdcCmd) {
                    continue;  // the volt outputs scale with the rating the host sends
                }
                ASSERT_TRUE(std::isfinite(run_.out[out]))
                    << "channel " << channel << " = " << value << ", output " << out;
            }
        }
        SetRegisteredParameters(run_.in);
        SetRatings(run_);
        SetCellDc(run_, kCellRated);
    }
    drive_.Run(2.0);
    EXPECT_EQ(Ch(kChLvrt), 0.0);
    EXPECT_EQ(Ch(kChHvrt), 0.0);
    EXPECT_NEAR(Ch(kChUdcMean), kUdcScale, 1e-3);
    EXPECT_NEAR(Ch(kChUdcCmd), kUdcScale, 1e-3);
    EXPECT_LE(std::fabs(Ch(kChIdSum)), 0.5);
    EXPECT_EQ(Ch(kChIqSel), kIqMin);
}

}  // namespace
}  // namespace svg::testing
