// The IEEE/Cigre model against the three-function library: same inputs and parameters, the
// same outputs bit for bit over a full converter run.
#include <gtest/gtest.h>

#include "cigre/twin_run.h"
#include "support/grid_signals.h"

namespace svg::testing {
namespace {

constexpr double kCellVolts = 500.0;
constexpr double kCells = 77.0;
constexpr double kReactorHenry = 0.013;

using TwinDrive = BasicGridDrive<TwinRun>;

// Grid only, then running, then deblocked against the average-value converter: 0.35 s, 3500
// samples through PLL start-up, DC control and the current loop.
void ConverterRun(TwinDrive& drive) {
    TwinRun& run = drive.run;
    SetRatings(run);
    run.in[69] = run.in[70] = kCellVolts;
    SetCellDc(run, kCellVolts);
    for (int ph = 0; ph < 3; ++ph) {
        run.in[36 + ph] = 400.0;
    }
    ASSERT_EQ(run.Init(), 0) << run.cigre.Error();
    auto steps = [&](int n) {
        for (int k = 0; k < n; ++k) {
            drive.StepConverter(kCells * kCellVolts, kReactorHenry);
        }
    };
    steps(1000);
    SetCommands(run, false, true);
    steps(1000);
    SetCommands(run, true, true);
    run.in[66] = 0.5;  // half the rated reactive power, changed while running
    steps(1500);
}

TEST(CigreEquivalence, ConverterRunMatchesTheThreeFunctionLibraryBitForBit) {
    TwinDrive drive;
    ConverterRun(drive);
    EXPECT_EQ(drive.run.steps, 3500);
    EXPECT_EQ(drive.run.failures, 0) << drive.run.cigre.Error();
    EXPECT_EQ(drive.run.mismatches, 0) << drive.run.first_mismatch;
    // The run is not idle: the converter modulates and the PLL follows the grid.
    EXPECT_GT(std::abs(drive.run.out[0]), 0.05);
    EXPECT_NEAR(drive.run.out[6], 50.0, 0.01);
}

// A parameter no host channel reaches: the three-function library takes it from the
// description file, the model from its parameter block (and ignores the file).
TEST(CigreEquivalence, FixedParameterFromTheBlockMatchesTheDescriptionFile) {
    TwinDrive drive;
    WriteFile("allDescriptions_0.tsv", "CurCtrl.parm_theta_shift\t\ttype=f\t\tdefault=0.010000\n");
    drive.run.cigre.SetParameter<float>("CurCtrl_parm_theta_shift", 0.01f);
    ConverterRun(drive);
    EXPECT_EQ(drive.run.mismatches, 0) << drive.run.first_mismatch;

    TwinDrive plain;
    ConverterRun(plain);
    EXPECT_NE(plain.run.out[0], drive.run.out[0]) << "the parameter must change the run";
}

}  // namespace
}  // namespace svg::testing
