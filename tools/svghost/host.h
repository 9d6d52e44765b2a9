// The stand-in simulation host: loads the library, initialises it, steps it over the
// scenario and writes the result file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <span>
#include <string_view>

#include "options.h"
#include "recording.h"
#include "scenario.h"

namespace svghost {

enum ExitCode {
    kExitOk = 0,
    kExitLibrary = 1,  // load, entry point, Init or Step failure
    kExitUsage = 2,    // bad command line or recording
    kExitOutput = 3,   // result file not writable
};

// Steps at t = k*dt for k = 0, 1, ... while t < duration. A step time within a billionth of a
// step below the end counts as the end, so that a duration that is a whole number of steps
// gives exactly that many steps whatever the rounding of k*dt.
std::int64_t StepCount(double duration, double dt);

// Host inputs at time t: the generated scenario, then the recording where it has begun.
void BuildInputs(Entry entry, const Scenario& scenario, const Recording* recording, double t,
                 std::span<double, kChannels> inputs);

// Runs the whole session; messages go to `err`.
int Run(const Options& options, std::FILE* err);

// Program entry: parses the command line, prints usage or channel lists, or runs.
int Main(std::span<const std::string_view> args);

}  // namespace svghost
