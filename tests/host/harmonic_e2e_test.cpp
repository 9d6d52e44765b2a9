// Harmonic loop 1 end to end through the exported functions: two hosts in lockstep on the same
// 35 kV grid, one with every harmonic loop switched off in the description file, the other
// with loop 1 in mode 0 (no harmonic feedback needed) and loops 2..4 at their defaults. The
// difference of their modulation references is loop 1's harmonic voltage alone.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/grid_drive.h"

namespace svg::testing {
namespace {

constexpr double kCellVolts = 500.0;
// Modulation index per unit voltage: the valve base (35 kV phase peak) over 77 cells at 500 V.
const double kIndexPerUnit = 35e3 * std::sqrt(2.0 / 3.0) / (77.0 * kCellVolts);
constexpr double kLimit = 0.1;  // loop 1's output limit, small enough to stay off +-1
constexpr int kChGridTheta = 5;

void Start(GridDrive& drive, const std::string& description) {
    WriteFile("allDescriptions_0.tsv", description);
    SetRatings(drive.run);
    drive.run.in[69] = drive.run.in[70] = kCellVolts;
    SetCellDc(drive.run, kCellVolts);
    ASSERT_EQ(drive.run.Init(), 0);
}

std::string Line(const std::string& name, const char* type, double value) {
    return "HarCurCtrl." + name + "\t\ttype=" + type + "\t\tdefault=" + std::to_string(value) +
           "\n";
}

// Running for 0.5 s, loop 1 (5th harmonic, negative sequence, shifted by -0.2 turns) puts its
// limit voltage on channels 0..2: phase a at -(5 theta - 0.2) turns, b and c a third of a turn
// behind and ahead; before that, and from loops 2..4 throughout, nothing.
TEST(HarmonicEndToEnd, LoopOneInjectsItsHarmonicAfterTheRunningDelay) {
    GridDrive off;  // each drive works in its own folder, the current one while it starts
    Start(off, Line("ena_harloop1", "cu", 0) + Line("ena_harloop2", "cu", 0) +
                   Line("ena_harloop3", "cu", 0) + Line("ena_harloop4", "cu", 0));
    GridDrive on;
    Start(on, Line("parm_harloop1_mode", "cu", 0) + Line("parm_harloop1_umodelim", "f", kLimit));
    auto step = [&] {
        off.Step();
        on.Step();
    };
    for (int k = 0; k < 1000; ++k) {
        step();
    }
    SetCommands(off.run, false, true);
    SetCommands(on.run, false, true);
    int first = 0;
    for (int k = 1; k <= 5100; ++k) {
        step();
        if (first == 0 && on.run.out[0] != off.run.out[0]) {
            first = k;
        }
    }
    EXPECT_EQ(first, 5002);  // 0.5 s counted down by 100 us in single precision
    for (int k = 0; k < 200; ++k) {
        step();
        const double theta_h = -(5.0 * on.run.out[kChGridTheta] - 0.2);
        for (int ph = 0; ph < 3; ++ph) {
            const double want = kLimit * kIndexPerUnit * std::cos(kTwoPi * (theta_h - ph / 3.0));
            ASSERT_NEAR(on.run.out[ph] - off.run.out[ph], want, 2e-6) << k << " " << ph;
        }
    }
}

}  // namespace
}  // namespace svg::testing
