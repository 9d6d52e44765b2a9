// Operating modes through the exported functions: any value a host puts on the mode, gain and
// command channels, and the recordable signals of mode control and damping in the wave-channel
// file at their place in the creation order.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <string>
#include <vector>

#include "support/grid_drive.h"
#include "support/registry_names.h"

namespace svg::testing {
namespace {

// Qualified names of the wave-channel file, in file order.
std::vector<std::string> WaveChannels() {
    std::ifstream f("RecordWaves_0.tsv");
    std::vector<std::string> names;
    for (std::string line; std::getline(f, line);) {
        names.push_back(line.substr(line.find(":\t\t") + 3));
    }
    return names;
}

std::size_t IndexOf(const std::vector<std::string>& v, const std::string& name) {
    for (std::size_t i = 0; i < v.size(); ++i) {
        if (v[i] == name) {
            return i;
        }
    }
    return v.size();
}

TEST(ModeHost, AnyValueOnTheModeGainAndCommandChannelsKeepsTheOutputsFinite) {
    GridDrive drive;
    SetRatings(drive.run);
    ASSERT_EQ(drive.run.Init(), 0);
    SetCommands(drive.run, true, true);
    drive.Run(0.2);
    const double nan = std::nan("");
    const double values[] = {0, 1, 2, 3, 5, 6, 7, 255, 256, -1, 1e300, -1e300, nan, 6.5};
    for (int channel : {44, 90, 91, 66, 67}) {
        for (double v : values) {
            drive.run.in[channel] = v;
            drive.Run(0.01, 50.0, 34.0);
            for (int out = 0; out < 40; ++out) {
                ASSERT_TRUE(std::isfinite(drive.run.out[out]))
                    << "channel " << channel << " = " << v << ", output " << out;
            }
        }
        SetRegisteredParameters(drive.run.in);
        SetRatings(drive.run);
    }
    drive.Run(0.2);
    EXPECT_NEAR(drive.run.out[6], 50.0, 0.05);
}

TEST(ModeHost, WaveChannelsListModeAndDampingSignalsInCreationOrder) {
    GridDrive drive;
    SetRatings(drive.run);
    ASSERT_EQ(drive.run.Init(), 0);
    drive.Run(0.01);
    ASSERT_EQ(drive.run.Terminate(), 0);
    const std::vector<std::string> names = WaveChannels();
    const std::size_t mode = IndexOf(names, "ModeCtrl.set_Iqpos_ref_ss");
    const std::size_t pll = IndexOf(names, "PLL.set_Udpos");
    ASSERT_LT(mode, names.size());
    ASSERT_LT(pll, names.size());
    EXPECT_EQ(names[mode - 1].rfind("MeterCtrl.", 0), 0u) << names[mode - 1];
    EXPECT_EQ(pll - mode, 71u);
    EXPECT_EQ(names[pll - 1], "ModeCtrl.Iref_test");
    const std::size_t app = IndexOf(names, "AppModeCtrl.set_Upod_cmd");
    ASSERT_LT(app, names.size());
    EXPECT_EQ(names[app + 11], "AppModeCtrl.PointCnt");
    // Every module's signals in one run, the modules in creation order.
    const std::vector<std::string> owners = Owners(names);
    EXPECT_EQ(owners, InCreationOrder(owners));
}

// The operating mode's reference reaches output channel 15 through ride-through control: in
// mode 0 it ramps by 0.05 per task-2 period (ten host steps) to the converter command (where
// mode control's reference passes 0, the minimum magnitude of ride-through control shows it
// as +0.05 straight after -0.05), an
// out-of-range mode byte behaves as mode 0, and voltage control (mode 1) turns it inductive
// while the voltage stays above its command.
TEST(ModeHost, TheSelectedModesReferenceReachesChannel15AtTheRateLimit) {
    GridDrive drive;
    SetRatings(drive.run);
    drive.run.in[66] = 15.0;  // converter reactive power command: 0.5 of 30 Mvar
    ASSERT_EQ(drive.run.Init(), 0);
    drive.Run(0.3);
    EXPECT_FLOAT_EQ(drive.run.out[15], -0.05f) << "stopped: the minimum magnitude, negative";

    SetCommands(drive.run, true, true);
    double previous = drive.run.out[15];
    int moves = 0;
    for (int k = 0; k < 300; ++k) {
        drive.Step();
        const double now = drive.run.out[15];
        const double change = now - previous;
        const bool through_zero = previous == -0.05f && now == 0.05f;
        previous = now;
        if (change != 0.0) {
            ++moves;
            EXPECT_TRUE(change > 0.0 && (change <= 0.05 + 1e-6 || through_zero))
                << "step " << k << ": " << change;
        }
    }
    EXPECT_NEAR(drive.run.out[15], 0.5, 0.005);
    EXPECT_GE(moves, 10) << "from -0.05 to 0.5 in steps of at most 0.05 but the one through 0";

    drive.run.in[44] = 200.0;
    drive.Run(0.1);
    EXPECT_NEAR(drive.run.out[15], 0.5, 0.005);

    drive.run.in[44] = 1.0;
    drive.Run(0.5, 50.0, 37.0);  // 1.057 per unit against the 35 kV command
    EXPECT_LT(drive.run.out[15], -0.5);
}

}  // namespace
}  // namespace svg::testing
