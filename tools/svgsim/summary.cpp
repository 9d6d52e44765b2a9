#include "summary.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <nlohmann/json.hpp>
#include <numbers>
#include <string_view>
#include <utility>

namespace svgsim {
namespace {

// Host output channels the figures are read from.
constexpr std::string_view kIqRef = "HLVRTCtrl.set_Iqpos_ref_sel";   // reactive current ref, pu
constexpr std::string_view kIqFbk = "CurTrans.set_Iqpos_fbk";        // its feedback, pu
constexpr std::string_view kUdcMean = "UdcVolCtrl.set_Udc_mean";     // V
constexpr std::string_view kUdcCmd = "UdcVolCtrl.set_Udccmd_final";  // V
constexpr std::string_view kDeblock = "SimInput.deblock_cmd";
constexpr std::string_view kModeByte = "ModeCtrl.parm_Qctrl_mode";  // host channel 44
constexpr double kVoltageControlMode = 1.0;
constexpr std::string_view kPllHz = "PLL.set_grid_freq";
constexpr std::string_view kLvrt = "HLVRTCtrl.flg_LVRT_mod";
constexpr std::string_view kHvrt = "HLVRTCtrl.flg_HVRT_mod";
// The protection flags on output channels 20 and 32..39: any element, then the frequency and
// voltage elements' own.
constexpr std::string_view kProtectionFlags[] = {
    "SimOutput.prot_flag",  "OFPro.act_flg01",      "UFPro.act_flg01",
    "OVPro.flg_obCn3L3_01", "OVPro.flg_obCn3L3_02", "OVPro.flg_obCn3L3_03",
    "UVPro.flg_obCn3L3_01", "UVPro.flg_obCn3L3_02", "UVPro.flg_obCn3L3_03"};

constexpr double kRiseLow = 0.1;        // rise time from 10 % ...
constexpr double kRiseHigh = 0.9;       // ... to 90 % of the step
constexpr double kSettleBand = 0.05;    // settled within 5 % of the step
constexpr double kSmallestStep = 0.02;  // pu: smaller reference changes are not a step
constexpr double kLockHz = 0.1;         // PLL locked within 0.1 Hz ...
constexpr double kLockHold = 0.1;       // ... for 0.1 s (or to the end of the run)
constexpr int kMaxHarmonic = 50;

// Sample index of time t: the first sample at or after it.
std::size_t IndexAt(const Record& r, double t) {
    return static_cast<std::size_t>(std::lower_bound(r.time.begin(), r.time.end(), t) -
                                    r.time.begin());
}

// Samples in one cycle of the nominal frequency, at least one.
std::size_t CycleSamples(const Record& r) {
    const double n = std::round(1.0 / (r.nominal_hz * r.sample_s));
    return n >= 1.0 && n < 1.0e9 ? static_cast<std::size_t>(n) : 1;
}

// Mean over the cycle that ends just before sample `end`.
double CycleMean(const Record& r, const std::vector<double>& v, std::size_t end) {
    const std::size_t n = std::min(CycleSamples(r), end);
    if (n == 0) return v.empty() ? 0.0 : v.front();
    double sum = 0.0;
    for (std::size_t k = end - n; k < end; ++k) sum += v[k];
    return sum / static_cast<double>(n);
}

StepResponse MeasureStep(const Record& r, const Event& event, std::size_t begin, std::size_t end,
                         const Signal& ref, const Signal& fbk) {
    StepResponse s;
    s.time = event.time;
    s.what = event.what;
    s.from = begin > 0 ? ref.values[begin - 1] : ref.values[begin];
    s.to = CycleMean(r, ref.values, end);
    const double step = s.to - s.from;
    s.final_error = s.to - CycleMean(r, fbk.values, end);
    if (!(std::abs(step) >= kSmallestStep)) return s;
    // Progress of the feedback along the step: 0 at the start value, 1 at the final one.
    auto progress = [&](std::size_t k) { return (fbk.values[k] - s.from) / step; };
    std::optional<double> t_low;
    std::optional<double> t_high;
    double peak = 0.0;
    std::optional<std::size_t> last_outside;
    for (std::size_t k = begin; k < end; ++k) {
        const double p = progress(k);
        if (!t_low && p >= kRiseLow) t_low = r.time[k];
        if (!t_high && p >= kRiseHigh) t_high = r.time[k];
        peak = std::max(peak, p);
        if (!(std::abs(p - 1.0) <= kSettleBand)) last_outside = k;
    }
    if (t_low && t_high) s.rise_s = *t_high - *t_low;
    s.overshoot_pct = std::max(0.0, peak - 1.0) * 100.0;
    if (!last_outside) {
        s.settling_s = 0.0;
    } else if (*last_outside + 1 < end) {
        s.settling_s = r.time[*last_outside + 1] - event.time;
    }
    return s;
}

// Magnitude of harmonic h over the samples [begin, begin + n), n samples per fundamental cycle.
double Harmonic(const std::vector<double>& v, std::size_t begin, std::size_t n, int h) {
    double re = 0.0;
    double im = 0.0;
    for (std::size_t k = 0; k < n; ++k) {
        const double angle =
            2.0 * std::numbers::pi * h * static_cast<double>(k) / static_cast<double>(n);
        re += v[begin + k] * std::cos(angle);
        im -= v[begin + k] * std::sin(angle);
    }
    return 2.0 * std::hypot(re, im) / static_cast<double>(n);
}

// Total harmonic distortion of the last full cycle, %; nullopt without a fundamental.
std::optional<double> LastCycleThd(const Record& r, const std::vector<double>& v) {
    const std::size_t n = CycleSamples(r);
    if (n < 4 || v.size() < n) return std::nullopt;
    const std::size_t begin = v.size() - n;
    const double fundamental = Harmonic(v, begin, n, 1);
    if (!(fundamental > 1e-9)) return std::nullopt;
    double sum = 0.0;
    const int highest = std::min<int>(kMaxHarmonic, static_cast<int>(n / 2) - 1);
    for (int h = 2; h <= highest; ++h) {
        const double m = Harmonic(v, begin, n, h);
        sum += m * m;
    }
    return 100.0 * std::sqrt(sum) / fundamental;
}

void Edges(const Record& r, const Signal* flag, std::vector<double>& rises,
           std::vector<double>& falls) {
    if (flag == nullptr) return;
    bool on = false;
    for (std::size_t k = 0; k < flag->values.size(); ++k) {
        const bool now = flag->values[k] != 0.0 && !std::isnan(flag->values[k]);
        if (now && !on) rises.push_back(r.time[k]);
        if (!now && on) falls.push_back(r.time[k]);
        on = now;
    }
}

std::optional<double> PllLock(const Record& r, const Signal& pll, const Signal& grid) {
    const std::size_t hold = static_cast<std::size_t>(std::round(kLockHold / r.sample_s));
    std::size_t inside = 0;
    for (std::size_t k = 0; k < pll.values.size(); ++k) {
        const bool locked = std::abs(pll.values[k] - grid.values[k]) < kLockHz;
        inside = locked ? inside + 1 : 0;
        if (inside > 0 && (inside > hold || k + 1 == pll.values.size())) {
            return r.time[k + 1 - inside];
        }
    }
    return std::nullopt;
}

bool Has(const Record& r, std::string_view name) { return r.Find(name) != nullptr; }

std::string Missing(std::string_view what, std::initializer_list<std::string_view> names) {
    std::string text(what);
    text += ": not recorded (needs";
    for (std::string_view name : names) {
        text += ' ';
        text += name;
    }
    return text + ")";
}

std::string Format(const char* format, double value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

std::string Optional(const std::optional<double>& value, const char* format) {
    return value ? Format(format, *value) : std::string("n/a");
}

nlohmann::json Json(const std::optional<double>& value) {
    return value ? nlohmann::json(*value) : nlohmann::json(nullptr);
}

}  // namespace

Summary Summarise(const Record& r) {
    Summary s;
    s.station = r.station;
    s.events = r.events;
    if (r.time.empty()) {
        s.notes.emplace_back("no samples recorded");
        return s;
    }
    s.duration_s = r.time.back() - r.time.front() + r.sample_s;
    const std::size_t end = r.time.size();

    // Reactive current after each command step, up to the next event.
    const Signal* ref = r.Find(kIqRef);
    const Signal* fbk = r.Find(kIqFbk);
    for (std::size_t e = 0; e < r.events.size(); ++e) {
        const Event& event = r.events[e];
        if (event.kind != EventKind::kReactiveCommand) continue;
        if (ref == nullptr || fbk == nullptr) {
            s.notes.push_back(Missing("reactive step response", {kIqRef, kIqFbk}));
            break;
        }
        const std::size_t begin = IndexAt(r, event.time);
        const std::size_t stop =
            e + 1 < r.events.size() ? std::max(begin, IndexAt(r, r.events[e + 1].time)) : end;
        if (begin >= stop) continue;
        s.reactive_steps.push_back(MeasureStep(r, event, begin, stop, *ref, *fbk));
    }

    // Voltage-control error at the end of every window that follows a voltage event, where the
    // operating mode is voltage control (in the other modes the voltage is the grid's).
    const Signal* mode = r.Find(kModeByte);
    const Signal* ucmd = r.Find(plant_signal::kUcmdPu);
    const Signal* upcc = r.Find(plant_signal::kPccUrmsPu);
    if (ucmd != nullptr && upcc != nullptr) {
        double worst = 0.0;
        bool any = false;
        for (std::size_t e = 0; e <= r.events.size(); ++e) {
            const bool last = e == r.events.size();
            if (!last && e > 0 && r.events[e - 1].kind != EventKind::kVoltageCommand &&
                r.events[e - 1].kind != EventKind::kGridVoltage) {
                continue;
            }
            const std::size_t stop = last ? end : IndexAt(r, r.events[e].time);
            if (stop == 0) continue;
            if (mode != nullptr && mode->values[stop - 1] != kVoltageControlMode) continue;
            const double error =
                CycleMean(r, ucmd->values, stop) - CycleMean(r, upcc->values, stop);
            worst = any ? std::max(worst, std::abs(error)) : std::abs(error);
            any = true;
        }
        if (any) s.voltage_error_pu = worst;
    }

    // DC voltage against its command while the converter is deblocked (before that the cells
    // hold their pre-charge whatever the command); ripple over the last cycle.
    const Signal* mean = r.Find(kUdcMean);
    const Signal* cmd = r.Find(kUdcCmd);
    const Signal* deblock = r.Find(kDeblock);
    if (mean != nullptr && cmd != nullptr) {
        for (std::size_t k = 0; k < end; ++k) {
            if (deblock != nullptr && deblock->values[k] == 0.0) continue;
            s.dc_deviation_max_v =
                std::max(s.dc_deviation_max_v, std::abs(mean->values[k] - cmd->values[k]));
        }
    } else {
        s.notes.push_back(Missing("DC deviation", {kUdcMean, kUdcCmd}));
    }
    const std::size_t cycle = std::min(CycleSamples(r), end);
    for (std::string_view name : {plant_signal::kUdcA, plant_signal::kUdcB, plant_signal::kUdcC}) {
        const Signal* udc = r.Find(name);
        if (udc == nullptr) continue;
        const auto [lo, hi] =
            std::minmax_element(udc->values.end() - static_cast<long>(cycle), udc->values.end());
        s.dc_ripple_pp_v = std::max(s.dc_ripple_pp_v, *hi - *lo);
    }

    // Current distortion: the worst phase over the last cycle.
    bool any_thd = false;
    for (std::string_view name :
         {plant_signal::kConvIa, plant_signal::kConvIb, plant_signal::kConvIc}) {
        const Signal* current = r.Find(name);
        if (current == nullptr) continue;
        if (const std::optional<double> thd = LastCycleThd(r, current->values)) {
            s.current_thd_pct = std::max(s.current_thd_pct, *thd);
            any_thd = true;
        }
    }
    if (!any_thd) s.notes.emplace_back("current THD: no converter current in the last cycle");

    const Signal* pll = r.Find(kPllHz);
    const Signal* grid = r.Find(plant_signal::kGridHz);
    if (pll != nullptr && grid != nullptr) {
        s.pll_lock_s = PllLock(r, *pll, *grid);
        if (!s.pll_lock_s) s.notes.emplace_back("PLL: never within 0.1 Hz of the grid");
    } else {
        s.notes.push_back(Missing("PLL lock", {kPllHz, plant_signal::kGridHz}));
    }

    Edges(r, r.Find(kLvrt), s.lvrt_entries_s, s.lvrt_exits_s);
    Edges(r, r.Find(kHvrt), s.hvrt_entries_s, s.hvrt_exits_s);
    if (!Has(r, kLvrt) || !Has(r, kHvrt)) {
        s.notes.push_back(Missing("ride-through times", {kLvrt, kHvrt}));
    }
    for (std::string_view name : kProtectionFlags) {
        FlagEdges edges{std::string(name), {}, {}};
        Edges(r, r.Find(name), edges.pickups_s, edges.dropouts_s);
        if (!edges.pickups_s.empty() || !edges.dropouts_s.empty()) {
            s.protection.push_back(std::move(edges));
        }
    }
    return s;
}

std::string SummaryText(const Summary& s) {
    std::string t = "scenario " + s.station + ", " + Format("%.4g", s.duration_s) + " s\n";
    for (const Event& event : s.events) {
        t += "event at " + Format("%.4g", event.time) + " s: " + event.what + "\n";
    }
    for (const StepResponse& step : s.reactive_steps) {
        t += "reactive current step at " + Format("%.4g", step.time) + " s (" + step.what +
             "): " + Format("%.4g", step.from) + " -> " + Format("%.4g", step.to) + " pu, rise " +
             Optional(step.rise_s ? std::optional(*step.rise_s * 1e3) : std::nullopt, "%.3g ms") +
             ", settling " +
             Optional(step.settling_s ? std::optional(*step.settling_s * 1e3) : std::nullopt,
                      "%.3g ms") +
             ", overshoot " + Format("%.3g", step.overshoot_pct) + " %, final error " +
             Format("%.3g", step.final_error) + " pu\n";
    }
    if (s.voltage_error_pu)
        t += "voltage-control error " + Format("%.4g", *s.voltage_error_pu) + " pu\n";
    t += "DC voltage: largest deviation from command " + Format("%.4g", s.dc_deviation_max_v) +
         " V, ripple " + Format("%.4g", s.dc_ripple_pp_v) + " V peak to peak (last cycle)\n";
    t += "converter current THD " + Format("%.3g", s.current_thd_pct) + " % (last cycle)\n";
    t += "PLL lock " + Optional(s.pll_lock_s, "%.4g s") + "\n";
    auto times = [](const std::vector<double>& v) {
        std::string out;
        for (double x : v) out += (out.empty() ? "" : ", ") + Format("%.4g s", x);
        return out.empty() ? std::string("none") : out;
    };
    t += "low-voltage ride-through: entries " + times(s.lvrt_entries_s) + "; exits " +
         times(s.lvrt_exits_s) + "\n";
    t += "high-voltage ride-through: entries " + times(s.hvrt_entries_s) + "; exits " +
         times(s.hvrt_exits_s) + "\n";
    if (s.protection.empty()) t += "protection: no flag moved\n";
    for (const FlagEdges& flag : s.protection) {
        t += "protection " + flag.flag + ": pick-ups " + times(flag.pickups_s) + "; drop-outs " +
             times(flag.dropouts_s) + "\n";
    }
    for (const std::string& note : s.notes) t += "note: " + note + "\n";
    return t;
}

std::string SummaryJson(const Summary& s) {
    nlohmann::json steps = nlohmann::json::array();
    for (const StepResponse& step : s.reactive_steps) {
        steps.push_back({{"time_s", step.time},
                         {"event", step.what},
                         {"from_pu", step.from},
                         {"to_pu", step.to},
                         {"rise_s", Json(step.rise_s)},
                         {"settling_s", Json(step.settling_s)},
                         {"overshoot_pct", step.overshoot_pct},
                         {"final_error_pu", step.final_error}});
    }
    nlohmann::json protection = nlohmann::json::array();
    for (const FlagEdges& flag : s.protection) {
        protection.push_back(
            {{"flag", flag.flag}, {"pickups_s", flag.pickups_s}, {"dropouts_s", flag.dropouts_s}});
    }
    nlohmann::json events = nlohmann::json::array();
    for (const Event& event : s.events) {
        events.push_back({{"time_s", event.time}, {"event", event.what}});
    }
    const nlohmann::json j = {
        {"scenario", s.station},
        {"duration_s", s.duration_s},
        {"events", events},
        {"reactive_steps", steps},
        {"voltage_error_pu", Json(s.voltage_error_pu)},
        {"dc_deviation_max_v", s.dc_deviation_max_v},
        {"dc_ripple_pp_v", s.dc_ripple_pp_v},
        {"current_thd_pct", s.current_thd_pct},
        {"pll_lock_s", Json(s.pll_lock_s)},
        {"lvrt_entries_s", s.lvrt_entries_s},
        {"lvrt_exits_s", s.lvrt_exits_s},
        {"hvrt_entries_s", s.hvrt_entries_s},
        {"hvrt_exits_s", s.hvrt_exits_s},
        {"protection", protection},
        {"notes", s.notes},
    };
    return j.dump(2) + "\n";
}

}  // namespace svgsim
