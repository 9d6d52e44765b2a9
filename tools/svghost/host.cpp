#include "host.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <string>

#include "entry_points.h"
#include "output_csv.h"
#include "platform.h"
#include "registry_defaults.h"
#include "text.h"

namespace svghost {
namespace {

constexpr int kPt4Phase = 9;  // PT4 phase a, b, c: the voltage of the phase-locked loop

bool WriteAll(std::FILE* out, const std::string& text) {
    return std::fwrite(text.data(), 1, text.size(), out) == text.size();
}

void PrintChannels(const Layout& layout, std::FILE* out) {
    const auto print = [out](const char* kind, std::span<const ChannelName> table) {
        for (const ChannelName& entry : table) {
            std::fprintf(out, "%-6s %3d %.*s\n", kind, entry.channel,
                         static_cast<int>(entry.name.size()), entry.name.data());
        }
    };
    for (const auto& group : layout.inputs) print("input", group);
    print("output", layout.outputs);
}

}  // namespace

std::int64_t StepCount(double duration, double dt) {
    const double end = duration - 1.0e-9 * dt;
    const auto before_end = [&](std::int64_t k) { return static_cast<double>(k) * dt < end; };
    auto count = static_cast<std::int64_t>(std::max(0.0, std::ceil(end / dt)));
    while (count > 0 && !before_end(count - 1)) --count;
    while (before_end(count)) ++count;
    return count;
}

void BuildInputs(Entry entry, const Scenario& scenario, const Recording* recording, double t,
                 std::span<double, kChannels> inputs) {
    GenerateInputs(entry, scenario, t, inputs);
    if (recording != nullptr) ApplyRecording(*recording, t, inputs);
}

int Run(const Options& options, std::FILE* err) {
    const auto fail = [err](int code, const std::string& message) {
        std::fprintf(err, "svghost: %s\n", message.c_str());
        return code;
    };
    const Entry entry_kind = EntryOf(options);
    const Layout& layout = LayoutOf(entry_kind);
    std::string error;

    Scenario scenario = options.scenario;
    if (!ResolveConstants(layout, options.constants, scenario.constants, error)) {
        return fail(kExitUsage, error);
    }
    Recording recording;
    if (!options.input_path.empty()) {
        std::string text;
        if (!ReadBinaryFile(options.input_path, text, error)) return fail(kExitUsage, error);
        if (!ParseRecording(text, options.input_path, layout, recording, error)) {
            std::fprintf(err, "%s\n", error.c_str());
            return kExitUsage;
        }
    }
    const Recording* replay = options.input_path.empty() ? nullptr : &recording;
    // A recording runs to its last row (that row is stepped) unless --duration says otherwise.
    double duration = options.duration;
    if (replay != nullptr && !options.duration_given && !recording.times.empty()) {
        duration = recording.times.back() + options.dt;
    }
    const auto columns = SelectOutputs(layout, options.outputs, options.output_list);

    SharedLibrary library;
    EntryPoints entry;
    if (!library.Open(options.library, error) ||
        !FindEntryPoints(library, layout.prefix, entry, error)) {
        return fail(kExitLibrary, error);
    }

    // Parameter channels at the values of the parameters they feed, as this library registers
    // them (and as an allDescriptions_0.tsv in the working directory changes them).
    RegistryValues registry;
    if (!ProbeRegistry(options.library, entry_kind, ".", registry, error)) {
        return fail(kExitLibrary, Cat({"registry probe: ", error}));
    }
    std::vector<std::string> missing;
    scenario.parameters = ParameterChannelValues(layout, registry, missing);
    if (!registry.values.empty()) {
        for (const std::string& name : missing) {
            std::fprintf(err,
                         "svghost: the library registers no parameter %s; its channel keeps "
                         "the built-in value\n",
                         name.c_str());
        }
    }

    FilePtr out_file;
    std::FILE* out = stdout;
    if (!options.out_path.empty()) {
        out_file = OpenBinaryFile(options.out_path, "wb", error);
        if (!out_file) return fail(kExitOutput, error);
        out = out_file.get();
    } else {
        SetStdoutBinary();
    }

    std::array<double, kChannels> inputs{};
    std::array<double, kChannels> outputs{};
    std::array<unsigned char, kStorageBytes> storage{};
    std::array<double, 4> record = options.record;
    BuildInputs(entry_kind, scenario, replay, 0.0, inputs);
    void* instance = nullptr;
    const int init = entry.init(&instance, 0, kChannels, kChannels, record.data(), inputs.data(),
                                outputs.data(), 0, storage.data(), 0.0, options.dt);
    if (init != 0 || instance == nullptr) {
        if (instance != nullptr) entry.terminate(instance);
        return fail(kExitLibrary, Cat({entry.init_name, " returned ", std::to_string(init),
                                       instance == nullptr ? " and no instance" : ""}));
    }

    std::string line;
    AppendHeader(columns, line);
    bool written = WriteAll(out, line);
    const std::int64_t steps = StepCount(duration, options.dt);
    bool pt4_seen = false;  // any voltage on the PT the phase-locked loop reads
    for (std::int64_t k = 0; k < steps && written; ++k) {
        const double t = static_cast<double>(k) * options.dt;
        BuildInputs(entry_kind, scenario, replay, t, inputs);
        pt4_seen = pt4_seen || inputs[kPt4Phase] != 0.0 || inputs[kPt4Phase + 1] != 0.0 ||
                   inputs[kPt4Phase + 2] != 0.0;
        const int step =
            entry.step(instance, 0, inputs.data(), outputs.data(), 0, storage.data(), t);
        if (step != 0) {
            entry.terminate(instance);
            return fail(kExitLibrary, Cat({entry.step_name, " returned ", std::to_string(step),
                                           " at t = ", FormatNumber(t)}));
        }
        line.clear();
        AppendRow(t, outputs, columns, line);
        written = WriteAll(out, line);
    }
    entry.terminate(instance);
    if (steps > 0 && !pt4_seen) {
        std::fprintf(err,
                     "svghost: PT4 (channels 9-11) carried no voltage: the controller ran "
                     "without a grid voltage (generate one with --pt 4, or record it)\n");
    }

    written = written && std::fflush(out) == 0;
    if (out_file) written = std::fclose(out_file.release()) == 0 && written;
    if (!written) {
        const std::string where = options.out_path.empty() ? std::string("standard output")
                                                           : Cat({"'", options.out_path, "'"});
        return fail(kExitOutput, Cat({"cannot write the result to ", where}));
    }
    return kExitOk;
}

int Main(std::span<const std::string_view> args) {
    Options options;
    std::string error;
    if (!ParseOptions(args, options, error)) {
        std::fprintf(stderr, "svghost: %s\nTry 'svghost --help'.\n", error.c_str());
        return kExitUsage;
    }
    if (options.help) {
        std::fputs(UsageText().c_str(), stdout);
        return kExitOk;
    }
    if (options.list_channels) {
        PrintChannels(LayoutOf(EntryOf(options)), stdout);
        return kExitOk;
    }
    return Run(options, stderr);
}

}  // namespace svghost
