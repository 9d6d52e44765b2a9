#include "sim.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <filesystem>
#include <numbers>
#include <system_error>

#include "comtrade.h"
#include "entry_points.h"
#include "host.h"
#include "platform.h"
#include "summary.h"
#include "text.h"

namespace svgsim {
namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

constexpr int kChannels = svghost::kChannels;

// Host input channels of the full build.
constexpr int kPtPhase = 0;  // PTk phase a, b, c at 3(k-1) + 0..2
constexpr int kPtRms = 12;   // PTk line ab, bc, ca at 12 + 3(k-1) + 0..2
constexpr int kCt1 = 24, kCt2 = 27, kCt3 = 30;
constexpr int kHall = 33;
constexpr int kBalanceDivisor = 36;
constexpr int kCellDc = 39;
constexpr int kMeasurementEnd = 42;  // channels below are measurements
constexpr int kCtrlSite = 46;
constexpr int kQn = 60, kVn = 61, kFn = 62, kLTot = 63, kCapPM = 64, kCells = 65;
constexpr int kUcmd = 67, kUpcc1 = 68, kTransHv = 71, kTransLv = 72;
// Output channels.
constexpr int kOutDeblock = 3;

constexpr double kSqrt2Over3 = 0.816496580927726;  // line RMS to phase peak
constexpr double kDivergedPu = 50.0;               // converter current that ends a run, pu peak
constexpr double kProgressPeriodS = 0.25;
constexpr int kPreRunCycles = 5;  // the blocked plant settles before t = 0

double Seconds(Clock::duration d) { return std::chrono::duration<double>(d).count(); }

// Unit of a host input channel as the measurements and ratings carry it.
std::string InputUnit(int channel) {
    if (channel < kPtRms) return "V";
    if (channel < kCt1) return "V";
    if (channel < kCellDc) return "A";
    if (channel < kMeasurementEnd) return "V";
    return "";
}

std::string OutputUnit(int channel) {
    switch (channel) {
        case 5:
            return "turns";
        case 6:
            return "Hz";
        case 7:
        case 8:
        case 13:
        case 14:
        case 15:
        case 16:
            return "pu";
        case 11:
        case 12:
            return "V";
        case 31:
            return "kV";
        default:
            return "";
    }
}

bool OutputFlag(int channel) {
    return channel == 3 || channel == 4 || channel == 9 || channel == 10 || channel == 20 ||
           (channel >= 32 && channel <= 39);
}

// Columns of the record, filled one sample at a time.
class RecordBuilder {
  public:
    RecordBuilder(Record& record, std::size_t samples) : record_(record) {
        const svghost::Layout& layout = svghost::LayoutOf(svghost::Entry::kTravik);
        for (int ch = 0; ch < kChannels; ++ch) {
            const std::string_view name = svghost::InputName(layout, ch);
            if (name.empty()) continue;
            inputs_.push_back(
                {ch, Add(std::string(name), InputUnit(ch), ch == 42 || ch == 43, samples)});
        }
        for (int ch = 0; ch < kChannels; ++ch) {
            const std::string_view name = svghost::OutputName(layout, ch);
            if (name.empty()) continue;
            outputs_.push_back(
                {ch, Add(std::string(name), OutputUnit(ch), OutputFlag(ch), samples)});
        }
        using namespace plant_signal;
        const std::pair<std::string_view, const char*> plant[] = {
            {kPccUa, "kV"}, {kPccUb, "kV"}, {kPccUc, "kV"},    {kPccUrmsPu, "pu"}, {kConvIa, "A"},
            {kConvIb, "A"}, {kConvIc, "A"}, {kConvIqPu, "pu"}, {kConvQPu, "pu"},   {kConvPPu, "pu"},
            {kUdcA, "V"},   {kUdcB, "V"},   {kUdcC, "V"},      {kGridHz, "Hz"},    {kUcmdPu, "pu"},
        };
        for (const auto& [name, unit] : plant) {
            plant_.push_back(Add(std::string(name), unit, false, samples));
        }
    }

    void Sample(double t, std::span<const double, kChannels> in,
                std::span<const double, kChannels> out, std::span<const double> plant) {
        record_.time.push_back(t);
        for (const auto& [ch, index] : inputs_) record_.signals[index].values.push_back(in[ch]);
        for (const auto& [ch, index] : outputs_) record_.signals[index].values.push_back(out[ch]);
        for (std::size_t k = 0; k < plant_.size() && k < plant.size(); ++k) {
            record_.signals[plant_[k]].values.push_back(plant[k]);
        }
    }
    static constexpr std::size_t kPlantSignals = 15;

  private:
    std::size_t Add(std::string name, std::string unit, bool flag, std::size_t samples) {
        Signal s{std::move(name), std::move(unit), flag, {}};
        s.values.reserve(samples);
        record_.signals.push_back(std::move(s));
        return record_.signals.size() - 1;
    }
    Record& record_;
    std::vector<std::pair<int, std::size_t>> inputs_, outputs_;
    std::vector<std::size_t> plant_;
};

// The plant signals of the record, in RecordBuilder's order.
std::array<double, RecordBuilder::kPlantSignals> PlantSignals(const Plant& plant,
                                                              std::span<const double> in) {
    const PlantOutputs& o = plant.outputs();
    const PlantConfig& c = plant.config();
    const double un = c.vn_kv * 1000.0;
    const double rated_peak = c.qn_mvar * 1.0e6 / un * kSqrt2Over3;  // rated current, peak
    // Amplitude-invariant Clarke transform of the PCC voltage and of the converter current
    // referred to the grid side.
    const auto alpha = [](const Abc& x) { return (2.0 * x[0] - x[1] - x[2]) / 3.0; };
    const auto beta = [](const Abc& x) { return (x[1] - x[2]) / std::sqrt(3.0); };
    Abc ig{};
    for (int k = 0; k < kPhases; ++k) ig[k] = o.i_conv[k] / c.transformer_ratio;
    const double va = alpha(o.pcc), vb = beta(o.pcc);
    const double ia = alpha(ig), ib = beta(ig);
    const double vmag = std::hypot(va, vb);
    // i = -Id cos(t) + Iq sin(t) with t the angle of the voltage: Iq = ia sin t - ib cos t.
    const double iq = vmag > 0.0 ? (ia * vb - ib * va) / vmag : 0.0;
    const double qn = c.qn_mvar * 1.0e6;
    const double q = 1.5 * (vb * ia - va * ib);
    const double p = 1.5 * (va * ia + vb * ib);
    const double urms = (in[kPtRms + 9] + in[kPtRms + 10] + in[kPtRms + 11]) / 3.0;
    const double site_kv = in[kCtrlSite] == 1.0 ? in[kUpcc1] : c.vn_kv;
    return {o.pcc[0] * 1e-3, o.pcc[1] * 1e-3,   o.pcc[2] * 1e-3,
            urms / un,       o.i_conv[0],       o.i_conv[1],
            o.i_conv[2],     iq / rated_peak,   q / qn,
            p / qn,          o.udc[0],          o.udc[1],
            o.udc[2],        plant.source().hz, site_kv > 0.0 ? in[kUcmd] / site_kv : 0.0};
}

}  // namespace

Meter::Meter(int window, const std::array<double, 4>& pt_scale)
    : window_(std::max(1, window)), pt_scale_(pt_scale) {
    for (Window& w : line_) w.squares.assign(static_cast<std::size_t>(window_), 0.0);
    for (Window& w : hall_) w.squares.assign(static_cast<std::size_t>(window_), 0.0);
}

double Meter::Push(Window& w, double x) {
    if (w.next == 0) {
        // Once per window the running sum restarts from the exact sum, so rounding cannot build
        // up over a long run.
        w.sum = 0.0;
        for (double s : w.squares) w.sum += s;
    }
    const double square = x * x;
    w.sum += square - w.squares[static_cast<std::size_t>(w.next)];
    w.squares[static_cast<std::size_t>(w.next)] = square;
    w.next = (w.next + 1) % window_;
    return std::sqrt(std::max(0.0, w.sum) / window_);
}

void Meter::Prime(std::span<const PlantOutputs> history) {
    std::array<double, kChannels> scratch{};
    for (const PlantOutputs& o : history) Measure(o, scratch);
}

void Meter::Measure(const PlantOutputs& o, std::span<double, kChannels> in) {
    for (int pt = 0; pt < 4; ++pt) {
        Abc v{};
        for (int k = 0; k < kPhases; ++k) {
            v[k] = o.pcc[k] * pt_scale_[pt];
            in[kPtPhase + 3 * pt + k] = v[k];
        }
        for (int k = 0; k < kPhases; ++k) {
            const double line = v[k] - v[(k + 1) % kPhases];  // ab, bc, ca
            in[kPtRms + 3 * pt + k] = Push(line_[3 * pt + k], line);
        }
    }
    for (int k = 0; k < kPhases; ++k) {
        in[kCt1 + k] = o.i_grid[k];
        in[kCt2 + k] = o.i_grid[k];
        in[kCt3 + k] = o.i_load[k];
        in[kHall + k] = o.i_conv[k];
        in[kBalanceDivisor + k] = Push(hall_[k], o.i_conv[k]);
        in[kCellDc + k] = o.udc[k];
    }
}

// Scaling, from the controller's base definitions, so that 1 pu there is 1 pu here:
// - Voltages: Upoc_base = Un_kV * 1000 * sqrt(2/3), the rated phase peak at the connection
//   point, where PT4 measures; the plant's PCC is that point, and PT1..PT3 read it through
//   ideal steps to their site ratings (Upcc1..3 / Un).
// - Currents: Ipoc_base = Qn * sqrt(2/3) / Un, the rated phase peak; the Hall base is Ipoc_base
//   without a transformer and k_trans * Ipoc_base with one (valve side), so the Hall channels
//   carry the valve-side current in amperes, out of the converter.
// - Reactor: set_wL_pu = 2 pi f * LTotCal * 1e-3 * Qn / Zu with Zu = Un^2, or (Un LV/HV)^2 with
//   a transformer: LTotCal is in mH on the valve side, as the plant takes it.
// - Modulation: m = u_pu * Uvalve_base / (cells * Udc_mean), with Uvalve_base = Upoc_base (or
//   Upoc_base LV/HV), so the cluster voltage is m * cells * Udc in volts on the valve side.
// - Cell voltages: channels 39..41 in volts; the controller divides them by channel 69 for per
//   unit and multiplies by channel 70 for the mean it divides m by, so both must be the cells'
//   rated voltage (the plant's cell_voltage) for m to mean what it says.
bool PrepareRun(const Scenario& scenario, const RegistryValues& registry,
                std::span<double, kChannels> inputs, PlantConfig& plant, std::string& error) {
    std::fill(inputs.begin(), inputs.end(), 0.0);
    std::vector<std::string> missing;
    const svghost::Layout& layout = svghost::LayoutOf(svghost::Entry::kTravik);
    for (const svghost::ChannelValue& v : ParameterChannelValues(layout, registry, missing)) {
        inputs[v.channel] = v.value;
    }
    for (const ChannelSet& set : scenario.channels) inputs[set.channel] = set.value;

    plant = PlantConfig{};
    plant.qn_mvar = inputs[kQn];
    plant.vn_kv = inputs[kVn];
    plant.fn_hz = inputs[kFn];
    plant.l_mh = inputs[kLTot];
    plant.cap_mf = inputs[kCapPM];
    const double cells = inputs[kCells];
    plant.cells = std::isfinite(cells) && cells >= 1.0 && cells < 1.0e6
                      ? static_cast<int>(std::floor(cells))
                      : 0;
    const double trans_type = registry.Find("Parameter.parm_trans_type").value_or(0.0);
    if (trans_type == 1.0) {
        // Star-star coupling transformer: the controller scales the valve side by LV/HV.
        plant.transformer_ratio =
            inputs[kTransLv] > 0.0 ? inputs[kTransHv] / inputs[kTransLv] : 0.0;
    } else if (trans_type != 0.0) {
        error = "Parameter.parm_trans_type = " + svghost::FormatNumber(trans_type) +
                ": only 0 (no coupling transformer) and 1 (star-star transformer) are modelled";
        return false;
    }
    const PlantSettings& s = scenario.plant;
    plant.udc_rated_v = s.cell_voltage_v;
    plant.udc_initial_v = s.precharge_v.value_or(s.cell_voltage_v);
    plant.scr = s.scr;
    plant.grid_x_over_r = s.grid_x_over_r;
    plant.reactor_x_over_r = s.reactor_x_over_r;
    plant.cell_loss_pu = s.cell_loss_pu;
    plant.load_p_pu = s.load_p_pu;
    plant.load_q_pu = s.load_q_pu;
    plant.substep_s = s.substep_s;
    PlantCircuit circuit;
    if (!DesignCircuit(plant, circuit, error)) {
        error += " (ratings from host channels 60..65, 71, 72)";
        return false;
    }
    return true;
}

bool RunScenario(const Scenario& scenario, const RunOptions& options, RunResult& result,
                 std::string& error, int& code) {
    const auto fail = [&](int c, std::string message) {
        code = c;
        error = std::move(message);
        return false;
    };
    const Clock::time_point wall_start = Clock::now();
    std::error_code ec;
    const fs::path folder = fs::absolute(options.out_folder, ec);
    const std::string library_path = fs::absolute(options.library, ec).string();

    RegistryValues registry;
    if (!ProbeRegistry(library_path, svghost::Entry::kTravik, folder.string(), registry, error)) {
        return fail(kExitLibrary, "registry probe: " + error);
    }
    std::array<double, kChannels> held{};
    PlantConfig config;
    if (!PrepareRun(scenario, registry, held, config, error)) {
        return fail(kExitUsage, scenario.file + ": " + error);
    }
    std::array<bool, kChannels> forced{};
    for (const ChannelSet& set : scenario.channels) forced[set.channel] = true;
    result.plant = config;

    const double dt = scenario.host_step_s;
    const std::int64_t steps = svghost::StepCount(scenario.duration_s, dt);
    const int window = static_cast<int>(std::lround(1.0 / (config.fn_hz * dt)));
    std::array<double, 4> pt_scale{};
    pt_scale[0] = held[kUpcc1] / config.vn_kv;
    pt_scale[1] = registry.Find("Parameter.parm_Upcc2").value_or(config.vn_kv) / config.vn_kv;
    pt_scale[2] = registry.Find("Parameter.parm_Upcc3").value_or(config.vn_kv) / config.vn_kv;
    pt_scale[3] = 1.0;

    Plant plant(config);
    GridSource source = scenario.grid;
    if (source.kv < 0.0) source.kv = config.vn_kv;
    if (source.hz < 0.0) source.hz = config.fn_hz;
    plant.SetSource(source);
    Meter meter(window, pt_scale);
    {
        // The blocked plant on its grid for a few cycles; the last one fills the RMS windows.
        std::vector<PlantOutputs> history;
        const Abc none{};
        for (int i = 0; i < kPreRunCycles * window; ++i) {
            plant.Advance(dt, none, false);
            if (i >= (kPreRunCycles - 1) * window) history.push_back(plant.outputs());
        }
        meter.Prime(history);
    }

    svghost::SharedLibrary library;
    svghost::EntryPoints entry;
    if (!library.Open(library_path, error) ||
        !svghost::FindEntryPoints(library, "Travik", entry, error)) {
        return fail(kExitLibrary, error);
    }
    // The output folder is made once the library is known to load; the library runs there and
    // leaves its trace and registry files beside the results.
    fs::create_directories(folder, ec);
    if (ec) return fail(kExitOutput, "cannot create '" + folder.string() + "': " + ec.message());
    svghost::WorkingFolder work;
    if (!work.Enter(folder, error)) return fail(kExitOutput, error);

    std::array<double, kChannels> in{}, out{};
    std::array<unsigned char, svghost::kStorageBytes> storage{};
    std::array<double, 4> record = scenario.record;
    const auto build_inputs = [&]() {
        meter.Measure(plant.outputs(), in);
        for (int ch = 0; ch < kChannels; ++ch) {
            if (ch >= kMeasurementEnd || forced[static_cast<std::size_t>(ch)]) in[ch] = held[ch];
        }
    };
    std::size_t next_event = 0;
    const auto apply_events = [&](double t) {
        bool grid_changed = false;
        while (next_event < scenario.events.size() &&
               scenario.events[next_event].time <= t + 1.0e-9 * dt) {
            const ScenarioEvent& e = scenario.events[next_event++];
            for (const ChannelSet& set : e.channels) {
                held[set.channel] = set.value;
                forced[set.channel] = true;
            }
            const GridChange& g = e.grid;
            if (g.kv) source.kv = *g.kv;
            if (g.hz) source.hz = *g.hz;
            if (g.unbalance_pu) source.unbalance_pu = *g.unbalance_pu;
            if (g.unbalance_deg) source.unbalance_deg = *g.unbalance_deg;
            if (g.harmonics) source.harmonics = *g.harmonics;
            if (g.phase_jump_deg) plant.JumpPhase(*g.phase_jump_deg);
            grid_changed = true;
        }
        if (grid_changed) {
            plant.SetSource(source);
            plant.Refresh();
        }
    };

    apply_events(0.0);
    build_inputs();
    void* instance = nullptr;
    const int init = entry.init(&instance, 0, kChannels, kChannels, record.data(), in.data(),
                                out.data(), 0, storage.data(), 0.0, dt);
    if (init != 0 || instance == nullptr) {
        if (instance != nullptr) entry.terminate(instance);
        return fail(kExitLibrary, entry.init_name + " returned " + std::to_string(init) +
                                      (instance == nullptr ? " and no instance" : ""));
    }

    result.record = Record{};
    result.record.station = scenario.name;
    result.record.nominal_hz = config.fn_hz;
    result.record.sample_s = dt;
    result.record.time.reserve(static_cast<std::size_t>(steps));
    RecordBuilder builder(result.record, static_cast<std::size_t>(steps));
    const double rated_peak =
        config.qn_mvar * 1.0e6 / (config.vn_kv * 1000.0) * kSqrt2Over3 * config.transformer_ratio;

    Clock::duration in_library{}, in_plant{};
    Clock::time_point last_report = Clock::now();
    for (std::int64_t k = 0; k < steps; ++k) {
        const double t = static_cast<double>(k) * dt;
        const Clock::time_point t0 = Clock::now();
        apply_events(t);
        build_inputs();
        const Clock::time_point t1 = Clock::now();
        const int step = entry.step(instance, 0, in.data(), out.data(), 0, storage.data(), t);
        const Clock::time_point t2 = Clock::now();
        if (step != 0) {
            entry.terminate(instance);
            return fail(kExitLibrary, entry.step_name + " returned " + std::to_string(step) +
                                          " at t = " + svghost::FormatNumber(t));
        }
        builder.Sample(t, in, out, PlantSignals(plant, in));
        plant.Advance(dt, Abc{out[0], out[1], out[2]}, out[kOutDeblock] != 0.0);
        const Clock::time_point t3 = Clock::now();
        in_library += t2 - t1;
        in_plant += (t1 - t0) + (t3 - t2);

        const PlantOutputs& o = plant.outputs();
        const double worst =
            std::max({std::abs(o.i_conv[0]), std::abs(o.i_conv[1]), std::abs(o.i_conv[2])});
        if (!plant.Finite() || worst > kDivergedPu * rated_peak) {
            result.diverged = "the plant diverged at t = " + svghost::FormatNumber(t + dt) +
                              " s (converter current " + svghost::FormatNumber(worst) +
                              " A peak, " + svghost::FormatNumber(kDivergedPu) +
                              " times rated); the run stops there";
            break;
        }
        if (options.progress && options.progress_out != nullptr && (k & 1023) == 0) {
            const Clock::time_point now = Clock::now();
            if (Seconds(now - last_report) >= kProgressPeriodS) {
                last_report = now;
                const double wall = Seconds(now - wall_start);
                std::fprintf(options.progress_out, "\r%s: %3.0f %%  %.2f simulated s per wall s ",
                             scenario.name.c_str(),
                             100.0 * static_cast<double>(k) / static_cast<double>(steps),
                             wall > 0.0 ? t / wall : 0.0);
                std::fflush(options.progress_out);
            }
        }
    }
    entry.terminate(instance);
    if (options.progress && options.progress_out != nullptr) {
        std::fprintf(options.progress_out, "\r%*s\r", 60, "");
    }

    for (const ScenarioEvent& e : scenario.events) {
        result.record.events.push_back({e.time, e.kind, e.what});
    }
    result.timing.simulated_s = result.record.time.empty() ? 0.0 : result.record.time.back() + dt;
    result.timing.wall_s = Seconds(Clock::now() - wall_start);
    result.timing.library_s = Seconds(in_library);
    result.timing.plant_s = Seconds(in_plant);
    code = kExitOk;
    return true;
}

std::string RecordCsv(const Record& record) {
    std::string text = "time";
    for (const Signal& s : record.signals) {
        text += ',';
        text += s.name;
    }
    text += '\n';
    for (std::size_t i = 0; i < record.time.size(); ++i) {
        svghost::AppendNumber(text, record.time[i]);
        for (const Signal& s : record.signals) {
            text += ',';
            svghost::AppendNumber(text, i < s.values.size() ? s.values[i] : 0.0);
        }
        text += '\n';
    }
    return text;
}

std::string TimingText(const RunTiming& t) {
    const auto share = [&](double part) {
        return t.wall_s > 0.0 ? svghost::FormatNumber(std::round(100.0 * part / t.wall_s)) : "0";
    };
    char speed[64];
    std::snprintf(speed, sizeof speed, "%.3g", t.wall_s > 0.0 ? t.simulated_s / t.wall_s : 0.0);
    return svghost::FormatNumber(t.simulated_s) + " s simulated in " +
           svghost::FormatNumber(std::round(t.wall_s * 1000.0) / 1000.0) + " s wall (" + speed +
           " simulated s per wall s); library " + share(t.library_s) + " %, plant " +
           share(t.plant_s) + " %";
}

bool WriteText(const fs::path& path, const std::string& text, std::string& error) {
    svghost::FilePtr file = svghost::OpenBinaryFile(path.string(), "wb", error);
    if (!file) return false;
    const bool ok = std::fwrite(text.data(), 1, text.size(), file.get()) == text.size() &&
                    std::fclose(file.release()) == 0;
    if (!ok) error = "cannot write '" + path.string() + "'";
    return ok;
}

bool WriteResults(const Scenario& scenario, const RunResult& result, const std::string& folder,
                  bool comtrade, std::string& error) {
    std::error_code ec;
    fs::create_directories(folder, ec);
    if (ec) {
        error = "cannot create '" + folder + "': " + ec.message();
        return false;
    }
    const fs::path base = fs::path(folder) / scenario.name;
    if (scenario.outputs.csv &&
        !WriteText(base.string() + ".csv", RecordCsv(result.record), error)) {
        return false;
    }
    if (scenario.outputs.comtrade && comtrade &&
        !WriteComtrade(result.record, base.string(), error)) {
        return false;
    }
    if (scenario.outputs.summary) {
        Summary summary = Summarise(result.record);
        summary.notes.push_back("timing: " + TimingText(result.timing));
        if (!result.diverged.empty()) summary.notes.push_back(result.diverged);
        if (!WriteText(fs::path(folder) / "summary.txt", SummaryText(summary), error) ||
            !WriteText(fs::path(folder) / "summary.json", SummaryJson(summary), error)) {
            return false;
        }
    }
    return true;
}

std::vector<std::string> InconsistentSettings(const RegistryValues& r) {
    std::vector<std::string> found;
    const auto value = [&](std::string_view name) { return r.Find(name); };
    const auto num = [](double x) { return svghost::FormatNumber(x); };

    const auto meter_udc = value("MeterCtrl.parm_Udccmd");
    const auto loop_udc = value("UdcVolCtrl.parm_Udccmd");
    if (meter_udc && loop_udc && *meter_udc != *loop_udc) {
        found.push_back(
            "channel 69 MeterCtrl.parm_Udccmd = " + num(*meter_udc) +
            " V (the per-unit base of the cell voltages on channels 39..41) differs from channel "
            "70 UdcVolCtrl.parm_Udccmd = " +
            num(*loop_udc) +
            " V (the cell voltage the DC loop holds and the modulation divides by): cells at " +
            num(*loop_udc) + " V read " + num(*loop_udc / *meter_udc) +
            " pu, and the modulation indices are " + num(*meter_udc / *loop_udc) +
            " times too large; set both to the cells' rated voltage");
    }
    const double cell_v = loop_udc.value_or(0.0);
    const auto dc_set = value("DCPro.act_set01");
    if (dc_set && cell_v > 0.0 && *dc_set < 0.5 * cell_v) {
        found.push_back("channel 98 DCPro.act_set01 = " + num(*dc_set) +
                        " reads like per unit, but DCPro compares it with the cell voltages on "
                        "channels 39..41 in volts (about " +
                        num(cell_v) +
                        " V): once enabled (channel 57) and running it picks up at once");
    }
    const double vn_v = value("Parameter.parm_Vn_kV").value_or(0.0) * 1000.0;
    for (int stage = 1; stage <= 3; ++stage) {
        const char n[] = {'0', static_cast<char>('0' + stage), '\0'};
        for (const char* element : {"OVPro", "UVPro"}) {
            const auto set = value(std::string(element) + ".parm_obCn3L3_" + n);
            const auto enabled = value(std::string(element) + ".ena_obCn3L3_" + n);
            if (!set || vn_v <= 0.0 || *set >= 0.5 * vn_v) continue;
            const bool over = std::string_view(element) == "OVPro";
            found.push_back(
                std::string(element) + ".parm_obCn3L3_" + n + " = " + num(*set) +
                " reads like per unit, but the element compares it with the PT4 RMS line "
                "voltages on channels 21..23 in volts (about " +
                num(vn_v) + " V): " +
                (over ? "the over-voltage stage picks up as soon as the running command is set"
                      : "the under-voltage stage can never pick up") +
                (enabled && *enabled == 1.0 ? " (stage enabled)" : " (stage disabled)"));
        }
    }
    const double fn = value("Parameter.parm_FrqHzNom").value_or(0.0);
    for (const char* element : {"OFPro", "UFPro"}) {
        const auto set = value(std::string(element) + ".act_set01");
        if (!set || fn <= 0.0 || *set >= 0.5 * fn) continue;
        const bool over = std::string_view(element) == "OFPro";
        found.push_back(
            std::string(element) + ".act_set01 = " + num(*set) +
            " reads like per unit, but the element compares it with the PLL "
            "frequency in Hz (about " +
            num(fn) + " Hz): " +
            (over ? "once enabled (channel 58) it picks up at once" : "it can never pick up"));
    }
    const auto hv = value("Parameter.parm_trans_HVnom");
    const auto lv = value("Parameter.parm_trans_LVnom");
    const auto type = value("Parameter.parm_trans_type");
    if (hv && lv && type && *type == 0.0 && *hv != *lv) {
        found.push_back("channels 71/72 give a " + num(*hv) + "/" + num(*lv) +
                        " kV coupling transformer, but Parameter.parm_trans_type = 0 makes the "
                        "controller ignore its ratio (valve base = connection-point base)");
    }
    return found;
}

}  // namespace svgsim
