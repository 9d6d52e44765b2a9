// The conformance points of the IEEE/Cigre DLL interface, checked on any model library from
// its self-description and a stimulus for its inputs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "model_host.h"

namespace cigrehost {

enum class Level { kPass, kWarn, kFail, kNotApplicable };

struct Finding {
    int point;  // 1..15
    Level level;
    std::string text;
};

// Writes the inputs of sample k into an instance.
using Stimulus = std::function<void(Instance& instance, long k)>;

struct ConformanceOptions {
    long steps = 2000;     // samples of each run
    long snapshot_at = 0;  // sample of the snapshot copy; 0: a third of the run
    long release_at = 0;   // last held sample of the hold test; 0: a tenth of the run
};

std::vector<Finding> CheckConformance(const std::string& library_path, const Stimulus& stimulus,
                                      const ConformanceOptions& options);

// "point  3 PASS  text" lines; the number of failures.
int PrintFindings(const std::vector<Finding>& findings, std::string& out);

}  // namespace cigrehost
