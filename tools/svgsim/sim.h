// One closed-loop run: the control library loaded like a simulation host loads it, stepped at the
// host step against the plant, which is sub-stepped in between; then the result files.
#pragma once

#include <array>
#include <cstdio>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "plant.h"
#include "record.h"
#include "registry_defaults.h"
#include "scenario.h"

namespace svgsim {

using svghost::ProbeRegistry;
using svghost::RegistryValues;

// Exit codes of the program, for scripts.
enum ExitCode {
    kExitOk = 0,
    kExitLibrary = 1,   // library does not load, lacks an entry point, Init or Step fails
    kExitUsage = 2,     // bad command line or scenario
    kExitOutput = 3,    // a result file cannot be written
    kExitDiverged = 4,  // the plant's currents or voltages ran away; outputs cover the run so far
    kExitInconsistent = 5,  // --check found inconsistent settings
};

struct RunOptions {
    std::string library;     // path of the control library
    std::string out_folder;  // result files, and the library's own files (its working folder)
    bool progress = false;   // percentage and speed on `progress_out`
    std::FILE* progress_out = nullptr;
    bool comtrade = true;  // may switch the scenario's COMTRADE output off
};

struct RunTiming {
    double simulated_s = 0.0;
    double wall_s = 0.0;
    double library_s = 0.0;  // inside the library's Step
    double plant_s = 0.0;    // plant integration and measurements
};

struct RunResult {
    Record record;
    RunTiming timing;
    PlantConfig plant;     // as built from the ratings and the scenario
    std::string diverged;  // empty, or when and what ran away
};

// Host measurements as an installation wires them, from the plant's state: PT phase voltages,
// one-cycle moving RMS line voltages, CT and Hall currents, their RMS values as the balance
// divisors, and the cell DC voltages.
class Meter {
  public:
    // `window` samples per nominal cycle; `pt_scale[k]` turns the PCC voltage into the reading of
    // PTk+1 (its site's rating over the converter's).
    Meter(int window, const std::array<double, 4>& pt_scale);
    // Fills the RMS windows as if the plant had sat at `history` (one cycle of samples, oldest
    // first) before the run.
    void Prime(std::span<const PlantOutputs> history);
    void Measure(const PlantOutputs& plant, std::span<double, 200> inputs);

  private:
    struct Window {
        std::vector<double> squares;
        double sum = 0.0;
        int next = 0;
    };
    double Push(Window& w, double x);
    int window_;
    std::array<double, 4> pt_scale_;
    std::array<Window, 12> line_;  // PT1..PT4, ab bc ca
    std::array<Window, 3> hall_;
};

// The channel values and plant configuration of a scenario run, before the library steps:
// `inputs` gets the registry's parameter values and the scenario's held channels; `plant` the
// ratings from those channels (and the registry's transformer arrangement) and the scenario's
// plant settings. False with `error` when they describe no plant this model can build.
bool PrepareRun(const Scenario& scenario, const RegistryValues& registry,
                std::span<double, 200> inputs, PlantConfig& plant, std::string& error);

// Runs the scenario. False with `error` and `code` on a library or setup failure; a run whose
// plant diverges returns true with `result.diverged` set.
bool RunScenario(const Scenario& scenario, const RunOptions& options, RunResult& result,
                 std::string& error, int& code);

// `<name>.csv`, COMTRADE and the summary into `folder`, as the scenario asks. The timing goes
// into the summary's notes. False with `error` naming what failed.
bool WriteResults(const Scenario& scenario, const RunResult& result, const std::string& folder,
                  bool comtrade, std::string& error);

// The CSV: "time,<signal>,..." then one row per sample, numbers as "%.9g".
std::string RecordCsv(const Record& record);

// "1 s simulated in 0.5 s wall (2 simulated s per wall s); library 70 %, plant 25 %".
std::string TimingText(const RunTiming& timing);

// Pairs of settings of a library's registry that contradict each other, one line each.
std::vector<std::string> InconsistentSettings(const RegistryValues& registry);

// Program entry: `args` without the program name.
int Main(std::span<const std::string_view> args);

}  // namespace svgsim
