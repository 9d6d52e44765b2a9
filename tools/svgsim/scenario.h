// A simulator scenario, read from TOML:
//
//   include = "base.toml"    # optional; read first, this file's keys go over it
//   name = "q-step"          # optional; default the file name without extension
//   duration = 1.0           # s, simulated time
//   [host]      step = 1e-4, record = [1, 10, 10, 1]   (host step; run id and task dividers)
//   [plant]     cell_voltage, precharge (V), scr, grid_x_over_r, reactor_x_over_r,
//               cell_loss_pu, load_p_pu, load_q_pu, substep (s)
//   [grid]      kv, hz (default: the rated values of channels 61, 62), phase_deg, unbalance_pu,
//   unbalance_deg,
//               harmonics = [{order = 5, pu = 0.03, deg = 0}, ...]
//   [channels]  "<host input name or number>" = value     (held from the start)
//   [outputs]   csv = true, comtrade = true, summary = true
//   [[events]]  time (s), what (text), kind (optional), channels = {...},
//               grid = {kv, hz, phase_jump_deg, unbalance_pu, unbalance_deg, harmonics}
//
// The plant is built once, from the rating channels (60..65, 71, 72) at the start: an event that
// changes a rating changes what the controller believes, not the plant.
// Every number must be finite; unknown keys, wrong types, unknown channels, negative or zero
// durations and events out of order are refused as "file:line: what" before anything runs.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <vector>

#include "plant.h"
#include "record.h"

namespace svgsim {

struct ChannelSet {
    int channel = 0;
    double value = 0.0;
};

// What an event changes on the source; unset fields stay as they are.
struct GridChange {
    std::optional<double> kv, hz, phase_jump_deg, unbalance_pu, unbalance_deg;
    std::optional<std::vector<Harmonic>> harmonics;
};

struct ScenarioEvent {
    double time = 0.0;
    EventKind kind = EventKind::kOther;
    std::string what;
    std::vector<ChannelSet> channels;
    GridChange grid;
};

// The plant settings a scenario gives beyond the ratings (which come from the host channels).
struct PlantSettings {
    double cell_voltage_v = 1050.0;     // rated cell voltage
    std::optional<double> precharge_v;  // default: the rated voltage
    double scr = 20.0;
    double grid_x_over_r = 10.0;
    double reactor_x_over_r = 50.0;
    double cell_loss_pu = 0.003;
    double load_p_pu = 0.0;
    double load_q_pu = 0.0;
    double substep_s = 1.0e-5;
};

struct ScenarioOutputs {
    bool csv = true;
    bool comtrade = true;
    bool summary = true;
};

struct Scenario {
    std::string file;  // as given
    std::string name;
    double duration_s = 0.0;
    double host_step_s = 1.0e-4;
    // Run id 1: the library's Terminate writes allDescriptions_1.tsv and never replaces an
    // allDescriptions_0.tsv that a user put in the output folder for Init to read.
    std::array<double, 4> record{1.0, 10.0, 10.0, 1.0};
    PlantSettings plant;
    GridSource grid;
    std::vector<ChannelSet> channels;   // held from t = 0, over the registry values
    std::vector<ScenarioEvent> events;  // ascending in time
    ScenarioOutputs outputs;
};

// Reads and checks the scenario at `path`. False with `error` ("file:line: what").
bool LoadScenario(const std::string& path, Scenario& scenario, std::string& error);

// The same from text; `path` names it in messages and anchors a relative include.
bool ParseScenario(const std::string& text, const std::string& path, Scenario& scenario,
                   std::string& error);

}  // namespace svgsim
