// svghost's command line: the library, the run, the generated inputs, held and replayed channels.
#include "options.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include "text.h"

namespace svghost {
namespace {

constexpr double kMaxSteps = 1.0e9;

// Help texts are wrapped to this many characters right of the option column.
constexpr std::size_t kOptionColumn = 28;
constexpr std::size_t kHelpWidth = 64;

constexpr const char* kDescription =
    R"(svghost: stand-in simulation host. Loads the control library LIBRARY at run time, as a
simulation host does, calls its Init<E>DLL entry once (input and output counts 200, the
parameter record, the inputs at t = 0), its Step<E>DLL entry once per time step with 200 input
and 200 output doubles and an unchanging 100-byte storage block, and Terminate<E>DLL at the
end; <E> is the entry prefix. Writes one CSV row per step: time, then the chosen output
channels. A LIBRARY without a directory is taken from the working directory.
Options take their value as the next argument or after '=' (--dt=0.001); given twice, the
last one wins (--set: each one applies).
)";

constexpr const char* kFooter =
    R"(Generated inputs: every channel not generated, set or replayed is 0. PTk phases a, b, c on
channels 3(k-1)+0..2: peak kV*1000*sqrt(2/3) V, phase a = peak*cos(2*pi*f*t), b and c lagging
by 120 and 240 degrees; PTk line RMS ab, bc, ca = kV*1000 V on channels 12+3(k-1)+0..2.

Ratings and commands: ch FULL/REDUCED is the input channel in the full and the reduced build;
'-': no host channel in that build, the value is not passed.

Precedence at each step: recording over --set over generated values.

Recording (--input): a header line whose first cell is 'time' and whose other cells name input
channels by number (0-199) or by name (see --list-channels), each channel at most once; then
rows of as many numbers, times never decreasing. At step time t the last row with time <= t
applies (held until the next row); before the first row the generated and --set values apply.
Numbers use '.' as decimal point; blank lines are skipped. Any error (unknown channel, empty or
non-numeric cell, wrong number of cells, time going backwards, channel out of range, duplicate
column) is reported as FILE:LINE:COLUMN: what, and the library is not run.

Input names: U_PT1_a..U_PT4_c (0-11), Urms_PT1_ab..Urms_PT4_ca (12-23), I_CT1_a..I_CT3_c
(24-32), I_HALL_a..I_HALL_c (33-35), Udcbal_div_a..c (36-38, divisors of the phase DC balance
control), Udc_a, Udc_b, Udc_c (39-41), deblock, running; full build: parameter channels 44-149
by target, e.g. Parameter.parm_Qn_Mvar; reduced build: module inputs 43-56, e.g.
Parameter.sim_Qn_Mvar.
The full build copies channels 44-149 into its parameters at every step; svghost gives each of
them the value the library registers for its parameter (read from the allDescriptions file of
a probe run, which an allDescriptions_0.tsv in the working directory changes) unless a rating
option, --set or the recording sets it. The reduced build reads its ratings, commands and
settings from channels 43-56: the ride-through settings (48-55) and the current limit (56)
start at the values the library registers for the parameters they stand for (found the same
way); a rating or command that is neither generated, set nor replayed is 0 in the library.
The reduced build reads 64 inputs and writes one output per recorded signal (57).
A run whose PT4 channels (9-11, the phase-locked loop's voltage) stay 0 throughout is reported
on standard error: the controller then has no grid voltage.

Result: header 'time' then one name per column; numbers printed as "%.9g".
Full-build output units: 0-2 modulation index per phase (-1..1, the cluster voltage over cell
count times mean cell voltage); 3, 4 deblock and running command; 5 grid angle in turns (0..1);
6 frequency, Hz; 7 positive-sequence voltage, pu; 8 converter reactive power, pu of Qn; 9, 10
low- and high-voltage ride-through flags; 11, 12 mean cell voltage and its command, V; 13
active current reference, 14 and 16 dq current feedback, 15 reactive current reference, pu of
rated peak current (reactive positive: the converter delivers vars, its current lagging the
voltage it sees, counted out of the converter); 17-19 phase balance coefficients; 20 combined
protection flag; 21-30 grid-forming signals, pu; 31 feedback RMS voltage, kV; 32-39 protection
flags (0 or 1).

Exit status: 0 success; 1 the library failed to load, lacks an entry point, or its Init or Step
returned non-zero; 2 bad command line or recording; 3 the result file could not be written.)";

// Refuses the value at hand; CLI11 puts the option's name in front of `reason`.
[[noreturn]] void Refuse(std::string_view reason) {
    throw CLI::ValidationError(std::string(reason));
}

// A finite number in the "C" notation; CLI11's own conversion is locale-dependent and rounds
// through long double, so every number goes through ParseNumber instead.
double Number(std::string_view text) {
    double value = 0.0;
    if (!ParseNumber(text, value)) Refuse(Cat({"'", text, "' is not a finite number"}));
    return value;
}

// Comma-separated integers within [low, high], each at most once.
std::vector<int> IntegerList(std::string_view text, int low, int high) {
    std::vector<int> values;
    for (const std::string_view field : SplitCommas(text)) {
        int value = 0;
        if (!ParseInteger(Trim(field), value) || value < low || value > high) {
            Refuse(Cat({"'", field, "' is not a number from ", std::to_string(low), " to ",
                        std::to_string(high)}));
        }
        if (std::find(values.begin(), values.end(), value) != values.end()) {
            Refuse(Cat({std::to_string(value), " given twice"}));
        }
        values.push_back(value);
    }
    return values;
}

// The help text broken into lines of at most kHelpWidth characters at blanks; CLI11 indents
// each following line to the help column.
std::string Wrapped(std::string_view help) {
    std::string out;
    std::size_t line = 0;  // characters on the current line
    std::size_t start = 0;
    while (start < help.size()) {
        const auto end = std::min(help.find(' ', start), help.size());
        const std::size_t word = end - start;
        if (line > 0) {
            const bool fits = line + 1 + word <= kHelpWidth;
            out += fits ? ' ' : '\n';
            line = fits ? line + 1 : 0;
        }
        out += help.substr(start, word);
        line += word;
        start = end + 1;
    }
    return out;
}

std::string SettingHelp(const Setting& setting) {
    std::string help = "ch ";
    for (int build = 0; build < 2; ++build) {
        if (build == 1) help += '/';
        help += setting.channel[build] < 0 ? "-" : std::to_string(setting.channel[build]);
    }
    help += Cat({": ", setting.meaning});
    if (!setting.unit.empty())
        help += Cat({" (default ", FormatNumber(setting.default_value), ")"});
    return help;
}

// Declares every option of svghost on `app`, storing into `o`. Every occurrence of an option is
// checked and stored, in command-line order, so that of an option given twice the last one wins
// and a bad first one is still refused.
void Describe(CLI::App& app, Options& o) {
    app.option_defaults()->multi_option_policy(CLI::MultiOptionPolicy::TakeLast);
    app.option_defaults()->disable_flag_override();
    app.set_help_flag();
    app.footer(kFooter);
    app.get_formatter()->column_width(kOptionColumn);
    // --name VALUE in `group`; `store` checks the text and keeps the value.
    const auto add = [&app](const std::string& group, const std::string& name,
                            const std::string& value, std::string_view help,
                            const std::function<void(const std::string&)>& store) {
        return app.add_option(name, CLI::callback_t{}, Wrapped(help))
            ->type_name(value)
            ->group(group)
            ->each(store);
    };

    app.add_option("LIBRARY", o.library, "control library to load")->type_name("");

    constexpr const char* kRun = "Run";
    add(kRun, "--entry", "Travik|Pellum",
        "entry points and channel layout: full build (Travik) or reduced build (Pellum); default "
        "Pellum when the library's file name contains \"Pellum\" (any case), else Travik",
        [&o](const std::string& v) {
            o.entry = ParseEntry(v);
            if (!o.entry) Refuse(Cat({"expected Travik or Pellum, not '", v, "'"}));
        });
    add(kRun, "--duration", "S",
        "simulated time in seconds (default 0.2, or with --input up to the recording's last "
        "row); steps run at t = k*dt while t is below S",
        [&o](const std::string& v) {
            o.duration = Number(v);
            o.duration_given = true;
            if (o.duration < 0.0) Refuse("must not be negative");
        });
    add(kRun, "--dt", "S", "host time step in seconds (default 0.0001)",
        [&o](const std::string& v) {
            o.dt = Number(v);
            if (o.dt <= 0.0) Refuse("must be positive");
        });
    add(kRun, "--record", "ID,N2,N3,N4",
        "host parameter record: run identifier, task-2 divider, task-3 and task-4 factors "
        "(default 0,10,10,1)",
        [&o](const std::string& v) {
            const auto fields = SplitCommas(v);
            if (fields.size() != o.record.size()) {
                Refuse(Cat({"expected 4 comma-separated numbers, not '", v, "'"}));
            }
            for (std::size_t i = 0; i < fields.size(); ++i) o.record[i] = Number(Trim(fields[i]));
        });
    app.add_option("--out", o.out_path,
                   Wrapped("write the result CSV to FILE (default standard output, which the "
                           "library's own messages share)"))
        ->type_name("FILE")
        ->group(kRun);
    add(kRun, "--outputs", "bound|all|LIST",
        "result columns: bound = the channels the library writes, by name (default); all = "
        "out0..out199; LIST = channel numbers such as 0,5,6",
        [&o](const std::string& v) {
            if (v == "bound") {
                o.outputs = OutputSelection::kWritten;
            } else if (v == "all") {
                o.outputs = OutputSelection::kAll;
            } else {
                o.outputs = OutputSelection::kList;
                o.output_list = IntegerList(v, 0, kChannels - 1);
            }
        });

    constexpr const char* kGrid = "Generated inputs";
    add(kGrid, "--pt", "LIST",
        "voltage transformers 1-4 that carry the generated grid voltages (default 1,4)",
        [&o](const std::string& v) {
            o.scenario.pt.fill(false);
            for (const int pt : IntegerList(v, 1, kVoltageTransformers)) {
                o.scenario.pt[static_cast<std::size_t>(pt - 1)] = true;
            }
        });
    add(kGrid, "--grid-kv", "KV",
        "line-to-line RMS voltage of the generated grid, kV (default 35); 0 for none",
        [&o](const std::string& v) {
            o.scenario.grid_kv = Number(v);
            if (o.scenario.grid_kv < 0.0) Refuse("must not be negative");
        });
    add(kGrid, "--grid-hz", "HZ", "frequency of the generated grid, Hz (default 50)",
        [&o](const std::string& v) { o.scenario.grid_hz = Number(v); });

    constexpr const char* kRatings = "Ratings and commands (ch FULL/REDUCED)";
    for (std::size_t i = 0; i < std::size(kSettings); ++i) {
        const Setting& setting = kSettings[i];
        double& target = o.scenario.settings[i];
        const std::string name = Cat({"--", setting.option});
        if (setting.unit.empty()) {
            app.add_flag_callback(
                   name, [&target] { target = 1.0; }, SettingHelp(setting))
                ->group(kRatings);
        } else {
            add(kRatings, name, std::string(setting.unit), SettingHelp(setting),
                [&target](const std::string& v) { target = Number(v); });
        }
    }

    constexpr const char* kChannelsGroup = "Channels";
    add(kChannelsGroup, "--set", "CH=VALUE",
        "hold input channel CH (number 0-199 or name) at VALUE; repeatable, for one channel the "
        "last one wins",
        [&o](const std::string& v) {
            const std::string_view text = v;
            const auto equals = text.find('=');
            const auto channel = Trim(text.substr(0, equals));
            if (equals == std::string_view::npos || channel.empty()) {
                Refuse(Cat({"expected CH=VALUE, not '", text, "'"}));
            }
            o.constants.push_back({std::string(channel), Number(Trim(text.substr(equals + 1)))});
        });
    app.add_option("--input", o.input_path, "replay recorded inputs from FILE.csv (format below)")
        ->type_name("FILE.csv")
        ->group(kChannelsGroup);
    app.add_flag("--list-channels", o.list_channels,
                 "print the named input and output channels of the layout and exit")
        ->group(kChannelsGroup);
    app.set_help_flag("-h,--help", "print this text and exit")->group(kChannelsGroup);
}

}  // namespace

bool ParseOptions(std::span<const std::string_view> args, Options& options, std::string& error) {
    CLI::App app{kDescription, "svghost"};
    // Library paths begin with '/' on POSIX systems: never read them as Windows-style options.
    app.allow_windows_style_options(false);
    Describe(app, options);
    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        options.help = true;
        return true;
    } catch (const CLI::ParseError& e) {
        error = e.what();
        return false;
    }
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
    CLI::App app{kDescription, "svghost"};
    Options options;
    Describe(app, options);
    return app.help();
}

}  // namespace svghost
