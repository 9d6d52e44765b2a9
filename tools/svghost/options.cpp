#include "options.h"

#include <algorithm>
#include <cmath>

#include "text.h"

namespace svghost {
namespace {

constexpr double kMaxSteps = 1.0e9;

bool NumberArg(std::string_view option, std::string_view text, double& value, std::string& error) {
    if (ParseNumber(text, value)) return true;
    error = Cat({"--", option, ": '", text, "' is not a finite number"});
    return false;
}

// Comma-separated integers within [low, high], each at most once.
bool IntegerListArg(std::string_view option, std::string_view text, int low, int high,
                    std::vector<int>& values, std::string& error) {
    values.clear();
    for (const std::string_view field : SplitCommas(text)) {
        int value = 0;
        if (!ParseInteger(Trim(field), value) || value < low || value > high) {
            error = Cat({"--", option, ": '", field, "' is not a number from ", std::to_string(low),
                         " to ", std::to_string(high)});
            return false;
        }
        if (std::find(values.begin(), values.end(), value) != values.end()) {
            error = Cat({"--", option, ": ", std::to_string(value), " given twice"});
            return false;
        }
        values.push_back(value);
    }
    return true;
}

using Apply = bool (*)(Options&, std::string_view option, std::string_view value, std::string&);

enum class Group { kRun, kGrid, kChannels };

struct OptionSpec {
    Group group;
    std::string_view name;
    std::string_view value;  // placeholder in the usage text; empty for an on/off flag
    std::string_view help;
    Apply apply;
};

const OptionSpec kOptions[] = {
    {Group::kRun, "entry", "Travik|Pellum",
     "entry points and channel layout: full build (Travik) or reduced build (Pellum); default "
     "Pellum when the library's file name contains \"Pellum\" (any case), else Travik",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         o.entry = ParseEntry(v);
         if (!o.entry) error = Cat({"--", name, ": expected Travik or Pellum, not '", v, "'"});
         return o.entry.has_value();
     }},
    {Group::kRun, "duration", "S",
     "simulated time in seconds (default 0.2, or with --input up to the recording's last "
     "row); steps run at t = k*dt while t is below S",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         if (!NumberArg(name, v, o.duration, error)) return false;
         o.duration_given = true;
         if (o.duration >= 0.0) return true;
         error = "--duration: must not be negative";
         return false;
     }},
    {Group::kRun, "dt", "S", "host time step in seconds (default 0.0001)",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         if (!NumberArg(name, v, o.dt, error)) return false;
         if (o.dt > 0.0) return true;
         error = "--dt: must be positive";
         return false;
     }},
    {Group::kRun, "record", "ID,N2,N3,N4",
     "host parameter record: run identifier, task-2 divider, task-3 and task-4 factors "
     "(default 0,10,10,1)",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         const auto fields = SplitCommas(v);
         if (fields.size() != o.record.size()) {
             error = Cat({"--", name, ": expected 4 comma-separated numbers, not '", v, "'"});
             return false;
         }
         for (std::size_t i = 0; i < fields.size(); ++i) {
             if (!NumberArg(name, Trim(fields[i]), o.record[i], error)) return false;
         }
         return true;
     }},
    {Group::kRun, "out", "FILE",
     "write the result CSV to FILE (default standard output, which the library's own messages "
     "share)",
     [](Options& o, std::string_view, std::string_view v, std::string&) {
         o.out_path = v;
         return true;
     }},
    {Group::kRun, "outputs", "bound|all|LIST",
     "result columns: bound = the channels the library writes, by name (default); "
     "all = out0..out199; LIST = channel numbers such as 0,5,6",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         if (v == "bound") {
             o.outputs = OutputSelection::kWritten;
         } else if (v == "all") {
             o.outputs = OutputSelection::kAll;
         } else {
             o.outputs = OutputSelection::kList;
             return IntegerListArg(name, v, 0, kChannels - 1, o.output_list, error);
         }
         return true;
     }},
    {Group::kGrid, "pt", "LIST",
     "voltage transformers 1-4 that carry the generated grid voltages (default 1,4)",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         std::vector<int> pts;
         if (!IntegerListArg(name, v, 1, kVoltageTransformers, pts, error)) return false;
         o.scenario.pt.fill(false);
         for (const int pt : pts) o.scenario.pt[pt - 1] = true;
         return true;
     }},
    {Group::kGrid, "grid-kv", "KV",
     "line-to-line RMS voltage of the generated grid, kV (default 35); 0 for none",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         if (!NumberArg(name, v, o.scenario.grid_kv, error)) return false;
         if (o.scenario.grid_kv >= 0.0) return true;
         error = "--grid-kv: must not be negative";
         return false;
     }},
    {Group::kGrid, "grid-hz", "HZ", "frequency of the generated grid, Hz (default 50)",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         return NumberArg(name, v, o.scenario.grid_hz, error);
     }},
    {Group::kChannels, "set", "CH=VALUE",
     "hold input channel CH (number 0-199 or name) at VALUE; repeatable, the last one wins",
     [](Options& o, std::string_view name, std::string_view v, std::string& error) {
         const auto equals = v.find('=');
         const auto channel = Trim(v.substr(0, equals));
         if (equals == std::string_view::npos || channel.empty()) {
             error = Cat({"--", name, ": expected CH=VALUE, not '", v, "'"});
             return false;
         }
         double value = 0.0;
         if (!NumberArg(name, Trim(v.substr(equals + 1)), value, error)) return false;
         o.constants.push_back({std::string(channel), value});
         return true;
     }},
    {Group::kChannels, "input", "FILE.csv", "replay recorded inputs from FILE.csv (format below)",
     [](Options& o, std::string_view, std::string_view v, std::string&) {
         o.input_path = v;
         return true;
     }},
    {Group::kChannels, "list-channels", "",
     "print the named input and output channels of the layout and exit",
     [](Options& o, std::string_view, std::string_view, std::string&) {
         o.list_channels = true;
         return true;
     }},
    {Group::kChannels, "help", "", "print this text and exit",
     [](Options& o, std::string_view, std::string_view, std::string&) {
         o.help = true;
         return true;
     }},
};

const OptionSpec* FindOption(std::string_view name) {
    for (const OptionSpec& option : kOptions) {
        if (option.name == name) return &option;
    }
    return nullptr;
}

const Setting* FindSetting(std::string_view name) {
    for (const Setting& setting : kSettings) {
        if (setting.option == name) return &setting;
    }
    return nullptr;
}

// "  --name VALUE" then the help text word-wrapped in a column of its own.
void AppendOptionLine(std::string& out, std::string_view name, std::string_view value,
                      std::string_view help) {
    constexpr std::size_t kHelpColumn = 26;
    constexpr std::size_t kWidth = 92;
    std::string line = "  --";
    line += name;
    if (!value.empty()) {
        line += ' ';
        line += value;
    }
    const auto flush = [&] {
        out += line;
        out += '\n';
        line.assign(kHelpColumn, ' ');
    };
    if (line.size() + 1 >= kHelpColumn) flush();
    line.resize(kHelpColumn, ' ');
    std::size_t start = 0;
    while (start < help.size()) {
        auto end = help.find(' ', start);
        if (end == std::string_view::npos) end = help.size();
        const auto word = help.substr(start, end - start);
        if (line.size() > kHelpColumn && line.size() + 1 + word.size() > kWidth) flush();
        if (line.size() > kHelpColumn) line += ' ';
        line += word;
        start = end + 1;
    }
    out += line;
    out += '\n';
}

}  // namespace

bool ParseOptions(std::span<const std::string_view> args, Options& options, std::string& error) {
    bool only_positional = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (only_positional || arg.size() < 2 || arg.substr(0, 2) != "--") {
            if (!options.library.empty()) {
                error =
                    Cat({"more than one library given: '", options.library, "' and '", arg, "'"});
                return false;
            }
            options.library = arg;
            continue;
        }
        if (arg == "--") {
            only_positional = true;
            continue;
        }
        const auto equals = arg.find('=');
        const std::string_view name =
            arg.substr(2, equals == std::string_view::npos ? std::string_view::npos : equals - 2);
        const OptionSpec* option = FindOption(name);
        const Setting* setting = option != nullptr ? nullptr : FindSetting(name);
        if (option == nullptr && setting == nullptr) {
            error = Cat({"unknown option '--", name, "'"});
            return false;
        }
        const bool takes_value =
            option != nullptr ? !option->value.empty() : !setting->unit.empty();
        std::string_view value;
        if (!takes_value) {
            if (equals != std::string_view::npos) {
                error = Cat({"--", name, " takes no value"});
                return false;
            }
        } else if (equals != std::string_view::npos) {
            value = arg.substr(equals + 1);
        } else if (i + 1 < args.size()) {
            value = args[++i];
        } else {
            error = Cat({"--", name, " needs a value"});
            return false;
        }
        if (option != nullptr) {
            if (!option->apply(options, name, value, error)) return false;
            continue;
        }
        double& target = options.scenario.settings[setting - kSettings];
        if (!takes_value) {
            target = 1.0;
        } else if (!NumberArg(name, value, target, error)) {
            return false;
        }
    }
    if (options.help) return true;
    if (options.library.empty() && !options.list_channels) {
        error = "no library given";
        return false;
    }
    if (options.duration / options.dt > kMaxSteps) {
        error = Cat({"--duration/--dt: more than ", FormatNumber(kMaxSteps), " steps"});
        return false;
    }
    return true;
}

bool ResolveConstants(const Layout& layout, std::span<const ChannelSettingText> constants,
                      std::vector<ChannelValue>& resolved, std::string& error) {
    resolved.clear();
    for (const ChannelSettingText& constant : constants) {
        std::string why;
        const auto channel = ResolveInputChannel(layout, constant.channel, why);
        if (!channel) {
            error = Cat({"--set ", constant.channel, ": ", why});
            return false;
        }
        resolved.push_back({*channel, constant.value});
    }
    return true;
}

Entry EntryOf(const Options& options) {
    return options.entry.value_or(DetectEntry(options.library));
}

std::string UsageText() {
    std::string out =
        "Usage: svghost LIBRARY [options]\n"
        "\n"
        "Loads the control library LIBRARY at run time, as a simulation host does, calls its\n"
        "Init<E>DLL entry once (input and output counts 200, the parameter record, the inputs at\n"
        "t = 0), its Step<E>DLL entry once per time step with 200 input and 200 output doubles\n"
        "and an unchanging 100-byte storage block, and Terminate<E>DLL at the end; <E> is the\n"
        "entry prefix. Writes one CSV row per step: time, then the chosen output channels.\n"
        "A LIBRARY without a directory is taken from the working directory.\n"
        "Options take their value as the next argument or after '=' (--dt=0.001).\n"
        "\n"
        "Run:\n";
    const auto add = [&out](Group group) {
        for (const OptionSpec& option : kOptions) {
            if (option.group == group)
                AppendOptionLine(out, option.name, option.value, option.help);
        }
    };
    add(Group::kRun);
    out += "\nGenerated inputs (every channel not generated, set or replayed is 0):\n";
    add(Group::kGrid);
    out +=
        "      PTk phases a, b, c on channels 3(k-1)+0..2: peak kV*1000*sqrt(2/3) V, phase a =\n"
        "      peak*cos(2*pi*f*t), b and c lagging by 120 and 240 degrees; PTk line RMS ab, bc,\n"
        "      ca = kV*1000 V on channels 12+3(k-1)+0..2.\n";
    out +=
        "\nRatings and commands (ch FULL/REDUCED: input channel in the full and the reduced\n"
        "build; '-': no host channel in that build, the value is not passed):\n";
    for (const Setting& setting : kSettings) {
        std::string help = "ch ";
        for (int build = 0; build < 2; ++build) {
            if (build == 1) help += '/';
            help += setting.channel[build] < 0 ? "-" : std::to_string(setting.channel[build]);
        }
        help += Cat({": ", setting.meaning});
        if (!setting.unit.empty()) {
            help += Cat({" (default ", FormatNumber(setting.default_value), ")"});
        }
        AppendOptionLine(out, setting.option, setting.unit, help);
    }
    out += "\nChannels:\n";
    add(Group::kChannels);
    out +=
        "\n"
        "Precedence at each step: recording over --set over generated values.\n"
        "\n"
        "Recording (--input): a header line whose first cell is 'time' and whose other cells\n"
        "name input channels by number (0-199) or by name (see --list-channels), each channel\n"
        "at most once; then rows of as many numbers, times never decreasing. At step time t the\n"
        "last row with time <= t applies (held until the next row); before the first row the\n"
        "generated and --set values apply. Numbers use '.' as decimal point; blank lines are\n"
        "skipped. Any error (unknown channel, empty or non-numeric cell, wrong number of cells,\n"
        "time going backwards, channel out of range, duplicate column) is reported as\n"
        "FILE:LINE:COLUMN: what, and the library is not run.\n"
        "\n"
        "Input names: U_PT1_a..U_PT4_c (0-11), Urms_PT1_ab..Urms_PT4_ca (12-23),\n"
        "I_CT1_a..I_CT3_c (24-32), I_HALL_a..I_HALL_c (33-35), Udcbal_div_a..c (36-38, divisors\n"
        "of the phase DC balance control), Udc_a, Udc_b, Udc_c (39-41), deblock, running; full\n"
        "build: parameter channels 44-149 by target, e.g. Parameter.parm_Qn_Mvar; reduced build:\n"
        "module inputs 43-56, e.g. Parameter.sim_Qn_Mvar.\n"
        "The full build copies channels 44-149 into its parameters at every step; svghost gives\n"
        "each of them the value the library registers for its parameter (read from the\n"
        "allDescriptions file of a probe run, which an allDescriptions_0.tsv in the working\n"
        "directory changes) unless a rating option, --set or the recording sets it. The reduced\n"
        "build reads its settings from channels 43-56; one that is neither generated, set nor\n"
        "replayed is 0 in the library.\n"
        "A run whose PT4 channels (9-11, the phase-locked loop's voltage) stay 0 throughout is\n"
        "reported on standard error: the controller then has no grid voltage.\n"
        "\n"
        "Result: header 'time' then one name per column; numbers printed as \"%.9g\".\n"
        "Full-build output units: 0-2 modulation index per phase (-1..1, the cluster voltage over\n"
        "cell count times mean cell voltage); 3, 4 deblock and running command; 5 grid angle in\n"
        "turns (0..1); 6 frequency, Hz; 7 positive-sequence voltage, pu; 8 converter reactive\n"
        "power, pu of Qn; 9, 10 low- and high-voltage ride-through flags; 11, 12 mean cell "
        "voltage\n"
        "and its command, V; 13 active current reference, 14 and 16 dq current feedback, 15\n"
        "reactive current reference, pu of rated peak current (reactive positive: the converter\n"
        "delivers vars, its current lagging the voltage it sees, counted out of the converter);\n"
        "17-19 phase balance coefficients; 20 combined protection flag; 21-30 grid-forming\n"
        "signals, pu; 31 feedback RMS voltage, kV; 32-39 protection flags (0 or 1).\n"
        "\n"
        "Exit status: 0 success; 1 the library failed to load, lacks an entry point, or its\n"
        "Init or Step returned non-zero; 2 bad command line or recording; 3 the result file\n"
        "could not be written.\n";
    return out;
}

}  // namespace svghost
