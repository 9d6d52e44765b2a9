#include "scenario.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <numbers>

#include "channels.h"

namespace svghost {
namespace {

using Inputs = std::array<double, kChannels>;

Inputs At(const Scenario& scenario, double t, Entry entry = Entry::kTravik) {
    Inputs inputs;
    inputs.fill(-123.0);
    GenerateInputs(entry, scenario, t, inputs);
    return inputs;
}

// Mean square of a phase or line voltage over one cycle, sampled finely enough that the
// rectangle rule is exact for a sinusoid (any N > 2 samples per cycle is).
double RmsOverCycle(const Scenario& scenario, int first, int second = -1) {
    constexpr int kSamples = 64;
    double sum = 0.0;
    for (int i = 0; i < kSamples; ++i) {
        const Inputs in = At(scenario, i / (kSamples * scenario.grid_hz));
        const double u = in[first] - (second >= 0 ? in[second] : 0.0);
        sum += u * u;
    }
    return std::sqrt(sum / kSamples);
}

TEST(GeneratedGrid, PhaseAndLineRmsMatchTheLineVoltage) {
    Scenario s;
    s.grid_kv = 35.0;
    s.grid_hz = 50.0;
    s.pt = {false, true, false, false};  // PT2: phases at 3..5, line RMS at 15..17
    const double line = 35000.0;
    EXPECT_NEAR(RmsOverCycle(s, 3), line / std::sqrt(3.0), 1e-6);
    EXPECT_NEAR(RmsOverCycle(s, 3, 4), line, 1e-6);  // a - b
    EXPECT_NEAR(RmsOverCycle(s, 5, 3), line, 1e-6);  // c - a
    const Inputs in = At(s, 0.0123);
    for (int ch = 15; ch <= 17; ++ch) EXPECT_EQ(in[ch], line);
    EXPECT_NEAR(in[3], line * std::sqrt(2.0 / 3.0) * std::cos(2 * std::numbers::pi * 50 * 0.0123),
                1e-6);
}

TEST(GeneratedGrid, PhasesLagByAThirdOfACycleAndSumToZero) {
    Scenario s;
    s.grid_hz = 60.0;
    s.pt = {false, false, false, true};  // PT4: 9..11
    const double period = 1.0 / 60.0;
    for (const double t : {0.0, 0.001, 0.0042, 0.0137}) {
        const Inputs now = At(s, t);
        const Inputs third = At(s, t - period / 3.0);
        const Inputs two_thirds = At(s, t - 2.0 * period / 3.0);
        EXPECT_NEAR(now[10], third[9], 1e-6) << "b(t) = a(t - T/3)";
        EXPECT_NEAR(now[11], two_thirds[9], 1e-6) << "c(t) = a(t - 2T/3)";
        EXPECT_NEAR(now[9] + now[10] + now[11], 0.0, 1e-6);
    }
    EXPECT_NEAR(At(s, 0.0)[9], 35000.0 * std::sqrt(2.0 / 3.0), 1e-9) << "a peaks at t = 0";
}

TEST(GeneratedGrid, OnlyChosenTransformersCarryVoltage) {
    Scenario s;
    s.pt = {true, false, true, false};
    const Inputs in = At(s, 0.003);
    for (int pt = 0; pt < 4; ++pt) {
        const bool on = s.pt[pt];
        for (int phase = 0; phase < 3; ++phase) {
            EXPECT_EQ(in[3 * pt + phase] != 0.0, on) << "PT" << pt + 1;
            EXPECT_EQ(in[12 + 3 * pt + phase] != 0.0, on) << "PT" << pt + 1;
        }
    }
    s.grid_kv = 0.0;
    const Inputs off = At(s, 0.003);
    for (int ch = 0; ch < 24; ++ch) EXPECT_EQ(off[ch], 0.0);
}

TEST(GeneratedSettings, LandOnEachBuildsChannels) {
    Scenario s;
    s.pt.fill(false);
    const Inputs full = At(s, 0.0, Entry::kTravik);
    const Inputs reduced = At(s, 0.0, Entry::kPellum);
    // Defaults of the 30 Mvar / 35 kV / 13 mH device, commands off.
    EXPECT_EQ(full[60], 30.0);
    EXPECT_EQ(full[61], 35.0);
    EXPECT_EQ(full[62], 50.0);
    EXPECT_EQ(full[63], 13.0);
    EXPECT_EQ(full[65], 77.0);
    EXPECT_EQ(full[42], 0.0);
    // Parameter channels the settings leave alone carry their registered values, so the
    // controller's gains are not zeroed; a rating the device differs in wins.
    EXPECT_EQ(full[84], 21.2) << "PLL gain";
    EXPECT_EQ(full[91], 200.0) << "voltage-loop integral gain";
    EXPECT_EQ(full[47], 1.0) << "PCC site";
    EXPECT_EQ(full[68], 35.0) << "the device's PCC rating, not the registered 220 kV";
    EXPECT_EQ(full[150], 0.0);
    EXPECT_EQ(reduced[43], 30.0);
    EXPECT_EQ(reduced[44], 35.0);
    EXPECT_EQ(reduced[45], 13.0);
    EXPECT_EQ(reduced[60], 0.0) << "the reduced build's deblock byte, not the rated power";
    EXPECT_EQ(reduced[61], 0.0);
    // The ride-through settings and the current limit carry the registered values of the
    // parameters they stand for.
    EXPECT_EQ(reduced[51], 1.12) << "high-voltage entry level";
    EXPECT_EQ(reduced[56], 1.15) << "reactive current limit";
    int nonzero = 0;
    for (const double v : reduced) nonzero += v != 0.0;
    EXPECT_EQ(nonzero, 3 + 9) << "settings without a reduced-build channel are not passed";
}

TEST(GeneratedSettings, EverySettingChannelIsNamedAfterItsTarget) {
    // The rating table and the channel-name table are written independently; they must agree.
    const char* full_targets[] = {"Parameter.parm_Qn_Mvar",
                                  "Parameter.parm_Vn_kV",
                                  "Parameter.parm_FrqHzNom",
                                  "Parameter.parm_LTotCal",
                                  "Parameter.parm_CapPM",
                                  "Parameter.parm_cellnum",
                                  "Parameter.parm_Upcc1",
                                  "Parameter.parm_trans_HVnom",
                                  "Parameter.parm_trans_LVnom",
                                  "deblock",
                                  "running"};
    const char* reduced_targets[] = {"Parameter.sim_Qn_Mvar",
                                     "Parameter.sim_Un_kV",
                                     "",
                                     "Parameter.sim_LTotCal",
                                     "",
                                     "",
                                     "",
                                     "",
                                     "",
                                     "deblock",
                                     "running"};
    ASSERT_EQ(std::size(full_targets), std::size(kSettings));
    for (int i = 0; i < kSettingCount; ++i) {
        EXPECT_EQ(InputName(LayoutOf(Entry::kTravik), kSettings[i].channel[0]), full_targets[i]);
        const int reduced = kSettings[i].channel[1];
        EXPECT_EQ(reduced < 0 ? "" : InputName(LayoutOf(Entry::kPellum), reduced),
                  std::string_view(reduced_targets[i]));
    }
}

TEST(GeneratedSettings, HeldConstantsWinOverGeneratedValues) {
    Scenario s;
    s.constants = {{0, 1.25}, {60, 12.0}, {199, -4.0}, {60, 15.0}};
    const Inputs in = At(s, 0.0);
    EXPECT_EQ(in[0], 1.25);
    EXPECT_EQ(in[60], 15.0) << "the last constant for a channel wins";
    EXPECT_EQ(in[199], -4.0);
    EXPECT_EQ(in[150], 0.0);
}

}  // namespace
}  // namespace svghost
