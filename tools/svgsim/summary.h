// The figures an engineer reads off a run: the reactive current's response to each command
// step, the voltage-control error, DC-voltage deviation and ripple, current distortion, PLL
// lock time, ride-through entry and exit times, protection pick-ups and drop-outs.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "record.h"

namespace svgsim {

struct StepResponse {
    double time = 0.0;  // s, when the event happened
    std::string what;   // the event
    double from = 0.0;  // reference before and after the step, pu
    double to = 0.0;
    std::optional<double> rise_s;      // 10 % to 90 % of the step, on the feedback
    std::optional<double> settling_s;  // into and staying within 5 % of the step
    double overshoot_pct = 0.0;        // beyond the final reference, % of the step
    double final_error = 0.0;          // reference minus feedback at the end of the window, pu
};

// The pick-up and drop-out times of one protection flag that moved during the run.
struct FlagEdges {
    std::string flag;  // output column: the element's flag, or the combined one
    std::vector<double> pickups_s, dropouts_s;
};

struct Summary {
    std::string station;
    double duration_s = 0.0;
    std::vector<StepResponse> reactive_steps;
    std::optional<double> voltage_error_pu;  // |Ucmd - U| at the end of voltage-control windows
    double dc_deviation_max_v = 0.0;   // largest |mean cell voltage - command| while deblocked
    double dc_ripple_pp_v = 0.0;       // peak-to-peak cell voltage over the last cycle
    double current_thd_pct = 0.0;      // converter current, last full cycle
    std::optional<double> pll_lock_s;  // frequency within 0.1 Hz of the grid for good
    std::vector<double> lvrt_entries_s, lvrt_exits_s, hvrt_entries_s, hvrt_exits_s;
    std::vector<FlagEdges> protection;  // only the flags that moved
    std::vector<Event> events;          // the scenario's, for the reader's orientation
    std::vector<std::string> notes;     // what could not be measured, and why
};

Summary Summarise(const Record& record);

std::string SummaryText(const Summary& summary);
std::string SummaryJson(const Summary& summary);

}  // namespace svgsim
