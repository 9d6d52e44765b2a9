// Command line of svghost.
#pragma once

#include <array>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "channels.h"
#include "output_csv.h"
#include "scenario.h"

namespace svghost {

struct ChannelSettingText {
    std::string channel;  // number or name, resolved once the layout is known
    double value;
};

struct Options {
    std::string library;
    std::optional<Entry> entry;   // unset: chosen from the library's file name
    double duration = 0.2;        // seconds of simulated time
    bool duration_given = false;  // else a recording runs to its last row
    double dt = 1.0e-4;           // host time step, seconds
    std::array<double, 4> record{0.0, 10.0, 10.0, 1.0};  // run id, task-2 divider, factors
    std::string out_path;                                // empty: standard output
    std::string input_path;                              // empty: no recording
    OutputSelection outputs = OutputSelection::kWritten;
    std::vector<int> output_list;
    Scenario scenario;
    std::vector<ChannelSettingText> constants;
    bool help = false;
    bool list_channels = false;
};

// `args` without the program name. False with `error` on the first bad argument.
bool ParseOptions(std::span<const std::string_view> args, Options& options, std::string& error);

// The --set channels as numbers of the layout's input channels.
bool ResolveConstants(const Layout& layout, std::span<const ChannelSettingText> constants,
                      std::vector<ChannelValue>& resolved, std::string& error);

Entry EntryOf(const Options& options);

std::string UsageText();

}  // namespace svghost
