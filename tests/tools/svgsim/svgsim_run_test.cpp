// Closed-loop runs against the built controller, and the exit codes for bad input.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <map>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "sim.h"
#include "support/temp_dir.h"

namespace svgsim {
namespace {

namespace fs = std::filesystem;
using svg::testing::ReadFile;
using svg::testing::TempWorkDir;
using svg::testing::WriteFile;

// A consistent 1050 V installation: start, deblock once the DC command has ramped up to the
// cells (about 0.1 s after the start), then constant Q 0 -> 1 pu at 0.3 s.
constexpr const char* kQStep = R"(duration = 0.55
[plant]
cell_voltage = 1050
[channels]
"MeterCtrl.parm_Udccmd" = 1050
"UdcVolCtrl.parm_Udccmd" = 1050
"Parameter.parm_trans_LVnom" = 35
"Parameter.parm_LTotCal" = 13.0
"MeterCtrl.parm_Qsvg_cmd" = 0
[outputs]
comtrade = false
[[events]]
time = 0.02
channels = { running = 1 }
[[events]]
time = 0.12
channels = { deblock = 1 }
[[events]]
time = 0.3
what = "Q command 0 -> 1 pu"
channels = { "MeterCtrl.parm_Qsvg_cmd" = 30 }
)";

const Signal& Get(const Record& r, std::string_view name) {
    const Signal* s = r.Find(name);
    EXPECT_NE(s, nullptr) << name;
    static const Signal kEmpty{};
    return s != nullptr ? *s : kEmpty;
}

double At(const Record& r, std::string_view name, double t) {
    const Signal& s = Get(r, name);
    const auto i = static_cast<std::size_t>(std::lround(t / r.sample_s));
    return i < s.values.size() ? s.values[i] : std::nan("");
}

// Without a coupling transformer, and with a 35/10 kV star-star one (Parameter.parm_trans_type
// 1 from a description file in the run folder, read by Init and by the registry probe).
struct Installation {
    const char* lv_kv;  // channel 72
    const char* l_mh;   // channel 63, 0.1 pu either way
    const char* description;
    double valve_amps_per_pu;  // valve-side peak current of 1 pu
};

void PrintTo(const Installation& installation, std::ostream* os) {
    *os << installation.lv_kv << " kV valve side";
}

class SvgsimRunOn : public ::testing::TestWithParam<Installation> {};

INSTANTIATE_TEST_SUITE_P(
    Installations, SvgsimRunOn,
    ::testing::Values(Installation{"35", "13.0", "", 699.854},
                      Installation{"10", "1.0612",
                                   "Parameter.parm_trans_type\t\ttype=cu\t\tdefault=1\n",
                                   699.854 * 3.5}),
    [](const ::testing::TestParamInfo<Installation>& installation) {
        return std::string(installation.param.lv_kv) + "kV_valve_side";
    });

TEST_P(SvgsimRunOn, ReactiveStepFollowsWithLockedPllAndHeldCellVoltages) {
    const Installation& installation = GetParam();
    TempWorkDir dir;
    std::string text = kQStep;
    const std::string lv = "\"Parameter.parm_trans_LVnom\" = ";
    text.replace(text.find(lv) + lv.size(), 2, installation.lv_kv);
    const std::string l = "\"Parameter.parm_LTotCal\" = ";
    text.replace(text.find(l) + l.size(), 4, installation.l_mh);
    WriteFile(dir.path() / "q.toml", text);
    Scenario scenario;
    std::string error;
    ASSERT_TRUE(LoadScenario((dir.path() / "q.toml").string(), scenario, error)) << error;
    RunOptions options;
    options.library = TRAVIK_DLL;
    options.out_folder = (dir.path() / "out").string();
    if (installation.description[0] != '\0') {
        fs::create_directories(options.out_folder);
        WriteFile(dir.path() / "out" / "allDescriptions_0.tsv", installation.description);
    }
    RunResult result;
    int code = -1;
    ASSERT_TRUE(RunScenario(scenario, options, result, error, code)) << error;
    EXPECT_EQ(code, kExitOk);
    EXPECT_TRUE(result.diverged.empty()) << result.diverged;
    const Record& r = result.record;
    ASSERT_EQ(r.time.size(), 5500u);

    // The plant's reactive current, in the plant's own per unit, equals the controller's
    // feedback: 1 pu in the controller is 1 pu in the plant.
    for (const double t : {0.25, 0.4, 0.54}) {
        EXPECT_NEAR(At(r, plant_signal::kConvIqPu, t), At(r, "CurTrans.set_Iqpos_fbk", t), 0.01)
            << t;
    }
    // Constant Q: 1 pu delivered 0.1 s after the step, with the current never beyond 1.2 pu.
    EXPECT_NEAR(At(r, plant_signal::kConvQPu, 0.5), 1.0, 0.02);
    const Signal& iq = Get(r, plant_signal::kConvIqPu);
    EXPECT_LT(*std::max_element(iq.values.begin(), iq.values.end()), 1.2);
    // The Hall sensors see the valve-side current: 1 pu reactive is the rated peak current
    // times the transformer ratio.
    const Signal& hall = Get(r, "I_HALL_a");
    const double hall_peak =
        std::abs(*std::max_element(hall.values.end() - 200, hall.values.end(),
                                   [](double a, double b) { return std::abs(a) < std::abs(b); }));
    EXPECT_NEAR(hall_peak, At(r, plant_signal::kConvIqPu, 0.54) * installation.valve_amps_per_pu,
                0.03 * installation.valve_amps_per_pu);
    // The PLL holds the grid frequency; the cells stay near their command.
    EXPECT_NEAR(At(r, "PLL.set_grid_freq", 0.54), 50.0, 0.02);
    for (const auto name : {plant_signal::kUdcA, plant_signal::kUdcB, plant_signal::kUdcC}) {
        const Signal& udc = Get(r, name);
        for (std::size_t i = 0; i < udc.values.size(); ++i) {
            ASSERT_NEAR(udc.values[i], 1050.0, 0.1 * 1050.0) << name << " at " << r.time[i];
        }
    }
    // Parameter channels carry the values the library registers; the scenario's own win.
    EXPECT_NEAR(At(r, "PLL.parm_pll_kp", 0.1), 21.2, 1e-5);
    EXPECT_EQ(At(r, "MeterCtrl.parm_Udccmd", 0.1), 1050.0);
    ASSERT_EQ(r.events.size(), 3u);
    EXPECT_EQ(r.events[2].kind, EventKind::kReactiveCommand);
    EXPECT_EQ(r.events[2].what, "Q command 0 -> 1 pu");

    ASSERT_TRUE(WriteResults(scenario, result, options.out_folder, false, error)) << error;
    const std::string csv = ReadFile(dir.path() / "out" / "q.csv");
    const std::string header = csv.substr(0, csv.find('\n'));
    for (const char* column :
         {"time,U_PT1_a,", ",ModCal.set_mod_a_sum,", ",conv_iq_pu,", ",udc_c,", ",u_cmd_pu"}) {
        EXPECT_NE(header.find(column), std::string::npos) << column;
    }
    EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 5501);
    EXPECT_TRUE(fs::exists(dir.path() / "out" / "summary.txt"));
    // The library ran in the output folder, with run id 1, and read the description there.
    const std::string written = ReadFile(dir.path() / "out" / "allDescriptions_1.tsv");
    EXPECT_NE(written.find(installation.description[0] != '\0'
                               ? "Parameter.parm_trans_type\t\ttype=cu\t\tdefault=1.0"
                               : "Parameter.parm_trans_type\t\ttype=cu\t\tdefault=0.0"),
              std::string::npos);
    // The file Init reads is the user's, never replaced by the run's own.
    const fs::path user_file = dir.path() / "out" / "allDescriptions_0.tsv";
    EXPECT_EQ(fs::exists(user_file) ? ReadFile(user_file) : "", installation.description);
}

int RunMain(std::vector<std::string> words) {
    const std::vector<std::string_view> args(words.begin(), words.end());
    return Main(args);
}

TEST(SvgsimRun, BadInputGivesItsExitCodeAndNoResult) {
    TempWorkDir dir;
    const std::string good = (dir.path() / "good.toml").string();
    WriteFile(good, kQStep);
    const std::string init_fails = (dir.path() / "init_fails.toml").string();
    WriteFile(init_fails, "duration = 0.01\n[host]\nrecord = [-1, 10, 10, 1]\n");
    const std::string bad = (dir.path() / "bad.toml").string();
    WriteFile(bad, "duration = nan\n");
    const std::string echo = (dir.path() / "echo.toml").string();
    WriteFile(echo, "duration = 0.2\n[plant]\ncell_voltage = 20000\n[outputs]\ncomtrade = false\n");
    WriteFile(dir.path() / "a_file", "");
    const std::string out = (dir.path() / "out").string();
    struct Case {
        std::vector<std::string> args;
        int code;
        const char* result;  // file that must not exist afterwards, or that must ("+...")
    };
    const Case cases[] = {
        {{bad, good, "--lib", TRAVIK_DLL, "--out", out, "--quiet"}, kExitUsage, "out"},
        {{good, "--out", out}, kExitUsage, "out"},
        {{good, "--lib", (dir.path() / "none.so").string(), "--out", out, "--quiet"},
         kExitLibrary,
         "out"},
        {{"--check", "--lib", TRAVIK_DLL}, kExitInconsistent, "out"},
        {{init_fails, "--lib", FAKE_SVG_LIB, "--out", out, "--quiet"},
         kExitLibrary,
         "out/init_fails.csv"},
        {{good, "--lib", TRAVIK_DLL, "--out", (dir.path() / "a_file" / "x").string(), "--quiet"},
         kExitOutput,
         "a_file/x"},
        // The echoing library gives the PT voltages back as modulation references: on cells
        // charged to 20 kV the currents run away and the run stops, with the results so far.
        {{echo, "--lib", FAKE_SVG_LIB, "--out", out, "--quiet"}, kExitDiverged, "+out/echo.csv"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(RunMain(c.args), c.code) << c.args[0];
        const std::string name = c.result[0] == '+' ? c.result + 1 : c.result;
        EXPECT_EQ(fs::exists(dir.path() / name), c.result[0] == '+') << name;
    }
}

}  // namespace
}  // namespace svgsim
