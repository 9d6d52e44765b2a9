#include "cigrehost.h"

#include <CLI/CLI.hpp>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <optional>
#include <vector>

#include "channels.h"
#include "conformance.h"
#include "model_host.h"
#include "output_csv.h"
#include "platform.h"
#include "recording.h"
#include "text.h"

namespace cigrehost {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

struct Options {
    std::string library;
    bool check = false;
    bool table = false;
    std::string input_path;
    std::optional<double> duration;
    long steps = 2000;
    double amplitude = 1.0;
    double frequency = 50.0;
    std::vector<std::string> outputs;
    std::vector<std::string> settings;  // NAME=VALUE
    std::string out_path;
};

const char* TypeName(int data_type) {
    static constexpr const char* kNames[] = {"?",        "char_T",   "int8_T",    "uint8_T",
                                             "int16_T",  "uint16_T", "int32_T",   "uint32_T",
                                             "real32_T", "real64_T", "c_string_T"};
    return data_type >= 1 && data_type <= 10 ? kNames[data_type] : kNames[0];
}

std::string Cell(const char* text) {
    std::string cell = text != nullptr ? text : "";
    for (char& c : cell) c = c == '|' ? '/' : c;
    return cell;
}

// The recording's channels: input ports by index, then the parameters that may change while
// running (FixedValue 0), numbered after the ports.
struct ChannelMap {
    std::vector<svghost::ChannelName> inputs;
    std::vector<svghost::ChannelName> outputs;
    std::vector<int> parameter_of_channel;  // parameter index, -1 for a port
    svghost::Layout layout;
};

void MapChannels(const IEEE_Cigre_DLLInterface_Model_Info& info, ChannelMap& map) {
    map.parameter_of_channel.assign(svghost::kChannels, -1);
    for (int i = 0; i < info.NumInputPorts && i < svghost::kChannels; ++i) {
        map.inputs.push_back({i, info.InputPortsInfo[i].Name});
    }
    int channel = info.NumInputPorts;
    for (int i = 0; i < info.NumParameters && channel < svghost::kChannels; ++i) {
        if (info.ParametersInfo[i].FixedValue == 0) {
            map.parameter_of_channel[static_cast<std::size_t>(channel)] = i;
            map.inputs.push_back({channel++, info.ParametersInfo[i].Name});
        }
    }
    for (int i = 0; i < info.NumOutputPorts && i < svghost::kChannels; ++i) {
        map.outputs.push_back({i, info.OutputPortsInfo[i].Name});
    }
    map.layout.prefix = "";
    map.layout.inputs[0] = map.inputs;
    map.layout.outputs = map.outputs;
}

int ParameterIndex(const IEEE_Cigre_DLLInterface_Model_Info& info, std::string_view name) {
    for (int i = 0; i < info.NumParameters; ++i) {
        if (name == info.ParametersInfo[i].Name) return i;
    }
    return -1;
}

// --set NAME=VALUE through the host's range check.
bool ApplySettings(const Options& o, const IEEE_Cigre_DLLInterface_Model_Info& info,
                   Instance& instance, std::string& error) {
    for (const std::string& setting : o.settings) {
        const auto eq = setting.find('=');
        double value = 0.0;
        const int index =
            eq == std::string::npos ? -1 : ParameterIndex(info, setting.substr(0, eq));
        if (index < 0 || !svghost::ParseNumber(std::string_view(setting).substr(eq + 1), value)) {
            error = "--set " + setting + ": no such parameter or not a number";
            return false;
        }
        if (!instance.SetParameter(index, value, error)) return false;
    }
    return true;
}

// What drives the inputs: the recording, or a three-phase sine on every input port.
struct Drive {
    const IEEE_Cigre_DLLInterface_Model_Info* info;
    const ChannelMap* map;
    const svghost::Recording* recording;  // null: the sine
    double amplitude;
    double frequency;

    void operator()(Instance& in, long k) const {
        const double t = static_cast<double>(k) * info->FixedStepBaseSampleTime;
        if (recording == nullptr) {
            for (int i = 0; i < info->NumInputPorts; ++i) {
                const double shift = 2.0 * std::numbers::pi * (i % 3) / 3.0;
                in.SetInput(i,
                            amplitude * std::sin(2.0 * std::numbers::pi * frequency * t - shift));
            }
            return;
        }
        std::array<double, svghost::kChannels> row{};
        for (int c = 0; c < svghost::kChannels; ++c) {
            const int p = map->parameter_of_channel[static_cast<std::size_t>(c)];
            row[static_cast<std::size_t>(c)] = p >= 0 ? in.Parameter(p) : 0.0;
        }
        svghost::ApplyRecording(*recording, t, row);
        for (int i = 0; i < info->NumInputPorts && i < svghost::kChannels; ++i) {
            in.SetInput(i, row[static_cast<std::size_t>(i)]);
        }
        for (int c = 0; c < svghost::kChannels; ++c) {
            const int p = map->parameter_of_channel[static_cast<std::size_t>(c)];
            std::string why;
            if (p >= 0 && !in.SetParameter(p, row[static_cast<std::size_t>(c)], why)) {
                in.problems.push_back("recording: " + why);
            }
        }
    }
};

bool Write(const std::string& path, const std::string& text, std::string& error) {
    if (path.empty()) {
        std::fwrite(text.data(), 1, text.size(), stdout);
        return true;
    }
    svghost::FilePtr file = svghost::OpenBinaryFile(path, "wb", error);
    if (!file) return false;
    std::fwrite(text.data(), 1, text.size(), file.get());
    return true;
}

// Replays the drive for the duration and writes time and the chosen outputs as CSV.
int Replay(const Options& o, const LoadedModel& model, const ChannelMap& map, const Drive& drive,
           double duration) {
    std::vector<int> list;
    for (const std::string& name : o.outputs) {
        int found = -1;
        for (const svghost::ChannelName& c : map.outputs)
            found = c.name == name ? c.channel : found;
        if (found < 0 && !svghost::ParseInteger(name, found)) {
            std::fprintf(stderr, "cigrehost: --outputs: unknown output '%s'\n", name.c_str());
            return kExitUsage;
        }
        list.push_back(found);
    }
    const auto columns = svghost::SelectOutputs(
        map.layout,
        list.empty() ? svghost::OutputSelection::kWritten : svghost::OutputSelection::kList, list);
    Instance in(model, 1);
    std::string error;
    if (!ApplySettings(o, *model.info, in, error)) {
        std::fprintf(stderr, "cigrehost: %s\n", error.c_str());
        return kExitUsage;
    }
    std::string text;
    svghost::AppendHeader(columns, text);
    const double dt = model.info->FixedStepBaseSampleTime;
    const long steps = std::lround(duration / dt);
    int result = 0;
    drive(in, 0);
    for (auto [fn, name] : {std::pair{model.first_call, "Model_FirstCall"},
                            std::pair{model.check_parameters, "Model_CheckParameters"},
                            std::pair{model.initialize, "Model_Initialize"}}) {
        result = result == 2 ? 2 : in.Call(fn, name);
    }
    for (long k = 0; result != 2 && k < steps; ++k) {
        in.record.Time = static_cast<double>(k) * dt;
        drive(in, k);
        result = in.Call(model.outputs, "Model_Outputs");
        std::array<double, svghost::kChannels> out{};
        for (int i = 0; i < model.info->NumOutputPorts && i < svghost::kChannels; ++i) {
            out[static_cast<std::size_t>(i)] = in.Output(i);
        }
        svghost::AppendRow(in.record.Time, out, columns, text);
    }
    if (result == 2) {
        std::fprintf(stderr, "cigrehost: the model stopped the run: %s\n",
                     in.record.LastErrorMessage != nullptr ? in.record.LastErrorMessage : "");
        return kExitFailed;
    }
    in.Call(model.terminate, "Model_Terminate");
    for (const std::string& p : in.problems) std::fprintf(stderr, "cigrehost: %s\n", p.c_str());
    if (!Write(o.out_path, text, error)) {
        std::fprintf(stderr, "cigrehost: %s\n", error.c_str());
        return kExitFailed;
    }
    return in.problems.empty() ? kExitOk : kExitFailed;
}

bool Parse(std::span<const std::string_view> args, Options& o, std::string& error, bool& help) {
    CLI::App app{
        "Loads an IEEE/Cigre DLL model and checks it, replays a recording through it or "
        "lists its ports and parameters.",
        "cigrehost"};
    app.allow_windows_style_options(false);
    app.add_option("library", o.library, "the model library (.dll or .so)")->required();
    app.add_flag("--check", o.check, "check the conformance points of the interface");
    app.add_flag("--table", o.table, "print the ports and parameters as Markdown tables");
    app.add_option("--input", o.input_path,
                   "CSV recording \"time,<input or parameter>,...\" that drives the inputs");
    app.add_option("--duration", o.duration, "seconds to replay (default: to the last row)");
    app.add_option("--steps", o.steps, "samples of each conformance run")
        ->check(CLI::Range(10L, 1000000L));
    app.add_option("--amplitude", o.amplitude,
                   "amplitude of the sine on every input (no recording)");
    app.add_option("--frequency", o.frequency, "frequency of that sine, Hz");
    app.add_option("--outputs", o.outputs, "output ports to write, by name or index")
        ->delimiter(',');
    app.add_option("--set", o.settings, "NAME=VALUE: a parameter value (range-checked)");
    app.add_option("-o,--out", o.out_path, "write the result here instead of standard output");
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        std::fputs(app.help().c_str(), stdout);
        help = true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
    return true;
}

}  // namespace

std::string ModelTable(const IEEE_Cigre_DLLInterface_Model_Info& info) {
    using svghost::FormatNumber;
    std::string t;
    t += "#### Input ports (" + std::to_string(info.NumInputPorts) + ")\n\n";
    t += "| # | Name | Type | Unit | Description |\n|---|---|---|---|---|\n";
    for (int i = 0; i < info.NumInputPorts; ++i) {
        const IEEE_Cigre_DLLInterface_Signal& s = info.InputPortsInfo[i];
        t += "| " + std::to_string(i) + " | " + Cell(s.Name) + " | " + TypeName(s.DataType) +
             (s.Width > 1 ? "[" + std::to_string(s.Width) + "]" : "") + " | " + Cell(s.Unit) +
             " | " + Cell(s.Description) + " |\n";
    }
    t += "\n#### Output ports (" + std::to_string(info.NumOutputPorts) + ")\n\n";
    t += "| # | Name | Type | Description |\n|---|---|---|---|\n";
    for (int i = 0; i < info.NumOutputPorts; ++i) {
        const IEEE_Cigre_DLLInterface_Signal& s = info.OutputPortsInfo[i];
        t += "| " + std::to_string(i) + " | " + Cell(s.Name) + " | " + TypeName(s.DataType) +
             " | " + Cell(s.Description) + " |\n";
    }
    t += "\n#### Parameters (" + std::to_string(info.NumParameters) + ")\n\n";
    t += "FixedValue 0: may change while running. Min and max are the whole range of the type "
         "unless narrower.\n\n";
    t += "| Name | Group | Type | Default | Min | Max | FixedValue | Description |\n"
         "|---|---|---|---|---|---|---|---|\n";
    for (int i = 0; i < info.NumParameters; ++i) {
        const IEEE_Cigre_DLLInterface_Parameter& p = info.ParametersInfo[i];
        t += "| " + Cell(p.Name) + " | " + Cell(p.GroupName) + " | " + TypeName(p.DataType) +
             " | " + FormatNumber(DefaultOf(p)) + " | " + FormatNumber(MinOf(p)) + " | " +
             FormatNumber(MaxOf(p)) + " | " + std::to_string(p.FixedValue) + " | " +
             Cell(p.Description) + " |\n";
    }
    return t;
}

int Main(std::span<const std::string_view> args) {
    svghost::SetStdoutBinary();
    Options o;
    std::string error;
    bool help = false;
    if (!Parse(args, o, error, help)) {
        std::fprintf(stderr, "cigrehost: %s\nTry 'cigrehost --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (help) return kExitOk;
    LoadedModel model;
    if (!model.Load(o.library, error)) {
        std::fprintf(stderr, "cigrehost: %s\n", error.c_str());
        return kExitFailed;
    }
    if (o.table) {
        return Write(o.out_path, ModelTable(*model.info), error) ? kExitOk : kExitFailed;
    }
    ChannelMap map;
    MapChannels(*model.info, map);
    svghost::Recording recording;
    if (!o.input_path.empty()) {
        std::string text;
        if (!svghost::ReadBinaryFile(o.input_path, text, error) ||
            !svghost::ParseRecording(text, o.input_path, map.layout, recording, error)) {
            std::fprintf(stderr, "cigrehost: %s\n", error.c_str());
            return kExitUsage;
        }
    }
    const Drive drive{model.info, &map, o.input_path.empty() ? nullptr : &recording, o.amplitude,
                      o.frequency};
    if (o.check) {
        ConformanceOptions options;
        options.steps = o.steps;
        std::string report;
        const int failures = PrintFindings(CheckConformance(o.library, drive, options), report);
        std::fputs(report.c_str(), stdout);
        return failures == 0 ? kExitOk : kExitFailed;
    }
    const double last_row = recording.times.empty() ? 0.2 : recording.times.back();
    return Replay(o, model, map, drive, o.duration.value_or(last_row));
}

}  // namespace cigrehost
