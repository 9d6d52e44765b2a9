// The run summary against signals whose figures are known in closed form, and the COMTRADE
// record read back through its own configuration.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <numbers>
#include <sstream>
#include <string>
#include <vector>

#include "comtrade.h"
#include "summary.h"
#include "support/temp_dir.h"

namespace svgsim {
namespace {

constexpr double kDt = 1.0e-4;
constexpr double kHz = 50.0;

Signal& Add(Record& r, std::string_view name, std::string unit = "pu", bool flag = false) {
    r.signals.push_back({std::string(name), std::move(unit), flag, {}});
    r.signals.back().values.resize(r.time.size());
    return r.signals.back();
}

// 0.6 s: a reactive reference stepping 0 -> 1 pu at 0.2 s, followed by a first-order lag of
// time constant tau; a current of 1 pu fundamental with 20 % fifth and 10 % seventh
// harmonic; a PLL frequency settling to the grid's; one low-voltage ride-through.
Record KnownRun(double tau) {
    Record r;
    r.station = "known";
    r.nominal_hz = kHz;
    r.sample_s = kDt;
    for (int k = 0; k < 6000; ++k) r.time.push_back(k * kDt);
    r.events.push_back({0.2, EventKind::kReactiveCommand, "Q command 0 -> 1 pu"});
    r.signals.reserve(8);  // Add hands out references that must stay valid
    Signal& ref = Add(r, "HLVRTCtrl.set_Iqpos_ref_sel");
    Signal& fbk = Add(r, "CurTrans.set_Iqpos_fbk");
    Signal& ia = Add(r, plant_signal::kConvIa, "A");
    Signal& pll = Add(r, "PLL.set_grid_freq", "Hz");
    Signal& grid = Add(r, plant_signal::kGridHz, "Hz");
    Signal& lvrt = Add(r, "HLVRTCtrl.flg_LVRT_mod", "", true);
    Add(r, "HLVRTCtrl.flg_HVRT_mod", "", true);
    for (std::size_t k = 0; k < r.time.size(); ++k) {
        const double t = r.time[k];
        ref.values[k] = t >= 0.2 ? 1.0 : 0.0;
        fbk.values[k] = t >= 0.2 ? 1.0 - std::exp(-(t - 0.2) / tau) : 0.0;
        const double w = 2.0 * std::numbers::pi * kHz * t;
        ia.values[k] = 100.0 * (std::sin(w) + 0.2 * std::sin(5 * w) + 0.1 * std::sin(7 * w + 1));
        pll.values[k] = 50.0 + 5.0 * std::exp(-t / 0.01);
        grid.values[k] = 50.0;
        lvrt.values[k] = (t >= 0.3 && t < 0.4) ? 1.0 : 0.0;
    }
    return r;
}

TEST(SvgsimSummary, FiguresOfKnownSignals) {
    const double tau = 0.01;
    Record r = KnownRun(tau);
    Signal& under_voltage = Add(r, "UVPro.flg_obCn3L3_01", "", true);
    for (std::size_t k = 0; k < r.time.size(); ++k) {
        under_voltage.values[k] = (r.time[k] >= 0.35 && r.time[k] < 0.45) ? 1.0 : 0.0;
    }
    Add(r, "OVPro.flg_obCn3L3_01", "", true);  // never moves: not listed
    const Summary s = Summarise(r);
    ASSERT_EQ(s.reactive_steps.size(), 1u);
    const StepResponse& step = s.reactive_steps[0];
    EXPECT_DOUBLE_EQ(step.from, 0.0);
    EXPECT_DOUBLE_EQ(step.to, 1.0);
    // First-order lag: 10-90 % in tau ln 9, into the 5 % band after tau ln 20.
    EXPECT_NEAR(*step.rise_s, tau * std::log(9.0), 2 * kDt);
    EXPECT_NEAR(*step.settling_s, tau * std::log(20.0), 2 * kDt);
    EXPECT_DOUBLE_EQ(step.overshoot_pct, 0.0);
    EXPECT_NEAR(s.current_thd_pct, 100.0 * std::sqrt(0.2 * 0.2 + 0.1 * 0.1), 1e-6);
    // 5 Hz decaying with 10 ms: within 0.1 Hz after 10 ms * ln 50.
    EXPECT_NEAR(*s.pll_lock_s, 0.01 * std::log(50.0), 2 * kDt);
    EXPECT_EQ(s.lvrt_entries_s, std::vector<double>{0.3});
    ASSERT_EQ(s.lvrt_exits_s.size(), 1u);
    EXPECT_NEAR(s.lvrt_exits_s[0], 0.4, kDt);
    EXPECT_TRUE(s.hvrt_entries_s.empty());
    ASSERT_EQ(s.protection.size(), 1u);
    EXPECT_EQ(s.protection[0].flag, "UVPro.flg_obCn3L3_01");
    ASSERT_EQ(s.protection[0].pickups_s.size(), 1u);
    ASSERT_EQ(s.protection[0].dropouts_s.size(), 1u);
    EXPECT_NEAR(s.protection[0].pickups_s[0], 0.35, kDt);
    EXPECT_NEAR(s.protection[0].dropouts_s[0], 0.45, kDt);

    const std::string text = SummaryText(s);
    EXPECT_NE(text.find("overshoot 0 %"), std::string::npos) << text;
    EXPECT_NE(text.find("protection UVPro.flg_obCn3L3_01: pick-ups 0.35 s; drop-outs 0.45 s"),
              std::string::npos)
        << text;
    const std::string json = SummaryJson(s);
    EXPECT_NE(json.find("\"lvrt_entries_s\""), std::string::npos);
    EXPECT_NE(json.find("\"flag\": \"UVPro.flg_obCn3L3_01\""), std::string::npos) << json;
}

TEST(SvgsimSummary, MissingSignalsAreNotedNotGuessed) {
    Record r;
    r.station = "bare";
    r.time = {0.0, kDt};
    r.events.push_back({0.0, EventKind::kReactiveCommand, "step"});
    const Summary s = Summarise(r);
    EXPECT_TRUE(s.reactive_steps.empty());
    EXPECT_FALSE(s.pll_lock_s);
    EXPECT_GE(s.notes.size(), 3u);
    EXPECT_NE(SummaryJson(s).find("\"pll_lock_s\": null"), std::string::npos);
}

std::vector<std::string> Fields(const std::string& line) {
    std::vector<std::string> out;
    std::stringstream in(line);
    for (std::string field; std::getline(in, field, ',');) out.push_back(field);
    if (!line.empty() && line.back() == ',') out.emplace_back();
    return out;
}

std::vector<std::string> Lines(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::vector<std::string> out;
    for (std::string line; std::getline(in, line);) {
        EXPECT_FALSE(line.empty() || line.back() != '\r') << path << ": lines end in CR LF";
        if (!line.empty() && line.back() == '\r') line.pop_back();
        out.push_back(line);
    }
    return out;
}

TEST(SvgsimComtrade, ReadsBackThroughItsOwnScaling) {
    Record r = KnownRun(0.01);
    Signal& odd = Add(r, "odd,name", "kV");
    odd.values.assign(r.time.size(), 35.0);  // constant: still a valid scaling
    odd.values[1] = std::nan("");
    odd.values[2] = INFINITY;
    svg::testing::TempWorkDir dir;
    const std::string base = dir.path().string() + "/run";
    std::string error;
    ASSERT_TRUE(WriteComtrade(r, base, error)) << error;

    const std::vector<std::string> cfg = Lines(base + ".cfg");
    ASSERT_GE(cfg.size(), 2u);
    EXPECT_EQ(cfg[0], "known,svgsim,1999");
    EXPECT_EQ(cfg[1], "8,6A,2D");
    // Analogue channel rows, then status rows, then the rate and format trailer.
    std::vector<double> a, b;
    for (int k = 0; k < 6; ++k) {
        const std::vector<std::string> f = Fields(cfg[2 + k]);
        ASSERT_EQ(f.size(), 13u) << cfg[2 + k];
        a.push_back(std::stod(f[5]));
        b.push_back(std::stod(f[6]));
    }
    EXPECT_EQ(Fields(cfg[7])[1], "odd_name");
    EXPECT_EQ(Fields(cfg[7])[4], "kV");
    EXPECT_EQ(cfg[8], "1,HLVRTCtrl.flg_LVRT_mod,,,0");
    EXPECT_EQ(cfg[10], "50");
    EXPECT_EQ(cfg[11], "1");
    EXPECT_EQ(cfg[12], "10000.000000,6000");
    EXPECT_EQ(cfg[15], "ASCII");
    EXPECT_EQ(cfg[16], "1");

    const std::vector<std::string> dat = Lines(base + ".dat");
    constexpr int kAnalogue[6] = {0, 1, 2, 3, 4, 7};  // the flags are signals 5 and 6
    ASSERT_EQ(dat.size(), r.time.size());
    for (std::size_t n : {0ul, 1ul, 2ul, 3500ul, 5999ul}) {
        const std::vector<std::string> f = Fields(dat[n]);
        ASSERT_EQ(f.size(), 10u);
        EXPECT_EQ(std::stoul(f[0]), n + 1);
        EXPECT_EQ(std::stol(f[1]), static_cast<long>(std::lround(r.time[n] * 1e6)));
        for (int k = 0; k < 6; ++k) {
            const double v = r.signals[kAnalogue[k]].values[n];
            if (!std::isfinite(v)) continue;
            EXPECT_NEAR(a[k] * std::stod(f[2 + k]) + b[k], v, a[k]) << n << " " << k;
        }
        EXPECT_EQ(f[8], r.signals[5].values[n] != 0.0 ? "1" : "0");
    }
    EXPECT_EQ(Fields(dat[1])[7], "0");      // NaN records mid-range
    EXPECT_EQ(Fields(dat[2])[7], "32767");  // infinity at the top of the range

    r.signals[0].values.pop_back();
    EXPECT_FALSE(WriteComtrade(r, base, error));
    EXPECT_NE(error.find("HLVRTCtrl.set_Iqpos_ref_sel"), std::string::npos) << error;
    r.signals[0].values.push_back(0.0);
    EXPECT_FALSE(WriteComtrade(r, dir.path().string() + "/no/such/folder/run", error));
    EXPECT_NE(error.find("cannot write"), std::string::npos) << error;
}

}  // namespace
}  // namespace svgsim
