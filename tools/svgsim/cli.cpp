// svgsim's command line: scenarios to run, the library, the output folder; --check.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <set>
#ifdef _WIN32
#include <io.h>
#else
#include <unistd.h>
#endif

#include "registry_defaults.h"
#include "sim.h"

namespace svgsim {
namespace {

constexpr const char* kFooter =
    R"(Each scenario writes into the output folder (into OUT/<name>/ when several scenarios are
given): <name>.csv (time, then every host input and output channel by name and the plant
signals), <name>.cfg/.dat (COMTRADE), summary.txt and summary.json; the library's own trace
and registry files land there too, as the library runs in that folder. An
allDescriptions_0.tsv placed there beforehand sets the controller's parameters; host channels
44..149 carry the values the library registers unless the scenario sets them.

CSV columns: inputs as the host gives them (PT voltages and RMS line voltages in V, currents
in A counted out of the converter for the Hall sensors and from the grid into the PCC for
CT1/CT2, CT3 the load current, cell voltages in V); outputs as the library writes them;
plant signals pcc_ua..c (kV, phase to ground), pcc_urms_pu, conv_ia..c (A, valve side, out of
the converter), conv_iq_pu (reactive current, + delivers vars), conv_q_pu, conv_p_pu (pu of
Qn, delivered), udc_a..c (V, mean cell voltage), grid_hz, u_cmd_pu.

Exit codes:
  0  every run finished and its results were written
  1  the library did not load, lacks an entry point, or its Init or Step failed
  2  bad command line or scenario (nothing was run)
  3  a result file could not be written
  4  the plant diverged (results cover the run up to that point)
  5  --check found inconsistent settings
The first failing scenario's code is returned; the other scenarios still run.)";

bool StderrIsTerminal() {
#ifdef _WIN32
    return _isatty(_fileno(stderr)) != 0;
#else
    return isatty(fileno(stderr)) != 0;
#endif
}

int Check(const std::string& library) {
    RegistryValues registry;
    std::string error;
    if (!ProbeRegistry(library, svghost::Entry::kTravik, ".", registry, error)) {
        std::fprintf(stderr, "svgsim: %s: %s\n", library.c_str(), error.c_str());
        return kExitLibrary;
    }
    if (registry.values.empty()) {
        std::fprintf(stderr, "svgsim: %s wrote no parameter registry\n", library.c_str());
        return kExitLibrary;
    }
    const std::vector<std::string> found = InconsistentSettings(registry);
    for (const std::string& line : found) std::printf("%s\n", line.c_str());
    if (found.empty()) std::printf("no inconsistent settings found\n");
    return found.empty() ? kExitOk : kExitInconsistent;
}

}  // namespace

int Main(std::span<const std::string_view> args) {
    CLI::App app{
        "svgsim: closed-loop simulation of the static var generator's control library "
        "on an average-value converter and grid model.",
        "svgsim"};
    // Paths begin with '/' on POSIX systems: never read them as Windows-style options.
    app.allow_windows_style_options(false);
    std::vector<std::string> scenario_paths;
    std::string library, out = "svgsim-out";
    bool check = false, quiet = false, no_comtrade = false;
    app.add_option("scenarios", scenario_paths, "scenario files (TOML)");
    app.add_option("--lib", library, "control library to load (Travik_DLL)")->required();
    app.add_option("--out", out, "output folder")->capture_default_str();
    app.add_flag("--check", check,
                 "list the pairs of the library's registered settings that contradict each "
                 "other, then exit");
    app.add_flag("--quiet", quiet, "no progress line");
    app.add_flag("--no-comtrade", no_comtrade, "skip the COMTRADE files");
    app.footer(kFooter);

    std::vector<std::string> reversed(args.rbegin(), args.rend());
    try {
        app.parse(reversed);
    } catch (const CLI::CallForHelp& e) {
        std::fputs(app.help().c_str(), stdout);
        return kExitOk;
    } catch (const CLI::ParseError& e) {
        std::fprintf(stderr, "svgsim: %s\nTry 'svgsim --help'.\n", e.what());
        return kExitUsage;
    }
    if (check) return Check(library);
    if (scenario_paths.empty()) {
        std::fprintf(stderr, "svgsim: no scenario given\nTry 'svgsim --help'.\n");
        return kExitUsage;
    }

    // Every scenario is read and checked before anything runs.
    std::vector<Scenario> scenarios(scenario_paths.size());
    std::set<std::string> names;
    for (std::size_t i = 0; i < scenario_paths.size(); ++i) {
        std::string error;
        if (!LoadScenario(scenario_paths[i], scenarios[i], error)) {
            std::fprintf(stderr, "svgsim: %s\n", error.c_str());
            return kExitUsage;
        }
        if (!names.insert(scenarios[i].name).second) {
            std::fprintf(stderr, "svgsim: %s: a second scenario named '%s'\n",
                         scenario_paths[i].c_str(), scenarios[i].name.c_str());
            return kExitUsage;
        }
    }

    int first_failure = kExitOk;
    const bool progress = !quiet && StderrIsTerminal();
    for (const Scenario& scenario : scenarios) {
        const std::string folder =
            scenarios.size() == 1 ? out : (std::filesystem::path(out) / scenario.name).string();
        RunOptions options;
        options.library = library;
        options.out_folder = folder;
        options.progress = progress;
        options.progress_out = stderr;
        RunResult result;
        std::string error;
        int code = kExitOk;
        if (!RunScenario(scenario, options, result, error, code)) {
            std::fprintf(stderr, "svgsim: %s: %s\n", scenario.name.c_str(), error.c_str());
            if (first_failure == kExitOk) first_failure = code;
            continue;
        }
        if (!WriteResults(scenario, result, folder, !no_comtrade, error)) {
            std::fprintf(stderr, "svgsim: %s: %s\n", scenario.name.c_str(), error.c_str());
            if (first_failure == kExitOk) first_failure = kExitOutput;
            continue;
        }
        std::fprintf(stderr, "svgsim: %s: %s\n", scenario.name.c_str(),
                     TimingText(result.timing).c_str());
        if (!result.diverged.empty()) {
            std::fprintf(stderr, "svgsim: %s: %s\n", scenario.name.c_str(),
                         result.diverged.c_str());
            if (first_failure == kExitOk) first_failure = kExitDiverged;
        }
    }
    return first_failure;
}

}  // namespace svgsim
