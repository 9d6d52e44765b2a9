// The IEEE/Cigre model against the three-function library of the same build: same inputs and
// parameters, the same outputs bit for bit over a full converter run.
#include <gtest/gtest.h>

#include "cigre/twin_run.h"
#include "support/grid_signals.h"

namespace svg::testing {
namespace {

constexpr double kReactorHenry = 0.013;

// A twin run of one model, default-constructible for BasicGridDrive.
template <const CigreModel& kModel>
struct TwinOf : TwinRun {
    TwinOf() : TwinRun(kModel) {}
};

// What a converter run of each build sets: ratings, cells and the setting changed while
// running (the full build's reactive power command, a parameter channel; the reduced build's
// reactive power command and current limit, input ports).
struct Scenario {
    double cell_volts;
    double cells;
    int modulation_output;
};

template <class Twin>
Scenario Prepare(Twin& run) {
    if (!run.model.reference->reduced()) {
        SetRatings(run);
        run.in[69] = run.in[70] = 500.0;  // DC command of the cells
        for (int ph = 0; ph < 3; ++ph) {
            run.in[36 + ph] = 400.0;
        }
        return {500.0, 77.0, 0};
    }
    run.in[43] = 30.0;  // Mvar
    run.in[44] = 35.0;  // kV
    run.in[45] = 13.0;  // mH
    for (int ph = 0; ph < 3; ++ph) {
        run.in[36 + ph] = 1.0;
    }
    return {950.0, 36.0, 25};
}

template <class Twin>
void ChangeWhileRunning(Twin& run) {
    if (!run.model.reference->reduced()) {
        run.in[66] = 0.5;  // half the rated reactive power
        return;
    }
    run.in[47] = 0.5;   // half the rated reactive power
    run.in[56] = 0.95;  // a tighter reactive current limit
}

// Grid only, then running, then deblocked against the average-value converter: 0.35 s, 3500
// samples through PLL start-up, DC control and the current loop.
template <class Twin>
void ConverterRun(BasicGridDrive<Twin>& drive) {
    Twin& run = drive.run;
    const Deliverable& d = *run.model.reference;
    const Scenario s = Prepare(run);
    drive.modulation_output = s.modulation_output;
    SetCellDc(run, s.cell_volts);
    ASSERT_EQ(run.Init(), 0) << run.cigre.Error();
    auto steps = [&](int n) {
        for (int k = 0; k < n; ++k) {
            drive.StepConverter(s.cells * s.cell_volts, kReactorHenry);
        }
    };
    steps(1000);
    run.in[d.running_channel] = 1.0;
    steps(1000);
    run.in[d.deblock_channel] = 1.0;
    ChangeWhileRunning(run);
    steps(1500);
}

template <class Twin>
class CigreEquivalence : public ::testing::Test {};

using Twins = ::testing::Types<TwinOf<kTravikCigre>, TwinOf<kPellumCigre>>;
TYPED_TEST_SUITE(CigreEquivalence, Twins);

TYPED_TEST(CigreEquivalence, ConverterRunMatchesTheThreeFunctionLibraryBitForBit) {
    BasicGridDrive<TypeParam> drive;
    ConverterRun(drive);
    const Deliverable& d = *drive.run.model.reference;
    EXPECT_EQ(drive.run.steps, 3500);
    EXPECT_EQ(drive.run.failures, 0) << drive.run.cigre.Error();
    EXPECT_EQ(drive.run.mismatches, 0) << drive.run.first_mismatch;
    EXPECT_EQ(drive.run.cigre.info.NumOutputPorts, d.reduced() ? d.outputs : 40);
    // The run is not idle: the converter modulates and the PLL follows the grid.
    EXPECT_GT(std::abs(drive.run.out[static_cast<std::size_t>(drive.modulation_output)]), 0.05);
    EXPECT_NEAR(drive.run.out[static_cast<std::size_t>(d.frequency_output)], 50.0, 0.01);
}

// A parameter no host channel reaches: the three-function library takes it from the
// description file, the model from its parameter block (and ignores the file).
TYPED_TEST(CigreEquivalence, FixedParameterFromTheBlockMatchesTheDescriptionFile) {
    BasicGridDrive<TypeParam> drive;
    WriteFile("allDescriptions_0.tsv", "CurCtrl.parm_theta_shift\t\ttype=f\t\tdefault=0.010000\n");
    CigreRun& model = drive.run.cigre;
    model.SetParameter<float>("CurCtrl_parm_theta_shift", 0.01f);
    ConverterRun(drive);
    EXPECT_EQ(drive.run.mismatches, 0) << drive.run.first_mismatch;

    BasicGridDrive<TypeParam> plain;
    ConverterRun(plain);
    const auto m = static_cast<std::size_t>(plain.modulation_output);
    EXPECT_NE(plain.run.out[m], drive.run.out[m]) << "the parameter must change the run";
}

}  // namespace
}  // namespace svg::testing
