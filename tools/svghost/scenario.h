// The generated scenario: a balanced three-phase grid on chosen voltage transformers, the
// device ratings and run commands on their host channels, and any channel held constant.
#pragma once

#include <array>
#include <iterator>
#include <span>
#include <string_view>
#include <vector>

#include "channels.h"

namespace svghost {

// A rating or command of the device, with the input channel that carries it in each build
// (-1 where that build takes the value from its own parameters instead).
struct Setting {
    std::string_view option;  // command-line option without the leading "--"
    std::string_view unit;    // value placeholder in the usage text; empty for an on/off flag
    double default_value;     // a flag's value is 1 when given, else this
    int channel[2];           // indexed by Entry: full build, reduced build
    std::string_view meaning;
};

// Defaults describe a 30 Mvar, 35 kV, 50 Hz device of 77 cells per phase with 13 mH of series
// inductance, connected directly at a 35 kV bus (PCC rating and transformer ratio alike).
inline constexpr Setting kSettings[] = {
    {"qn", "MVAR", 30.0, {60, 43}, "rated reactive power, Mvar"},
    {"vn", "KV", 35.0, {61, 44}, "rated line voltage at the converter, kV"},
    {"fn", "HZ", 50.0, {62, -1}, "nominal frequency, Hz"},
    {"l", "MH", 13.0, {63, 45}, "total series inductance, mH"},
    {"cappm", "X", 4.1, {64, -1}, "cell capacitor setting CapPM"},
    {"cells", "N", 77.0, {65, -1}, "cell number"},
    {"upcc1", "KV", 35.0, {68, -1}, "PCC (PT1 site) nominal line voltage, kV"},
    {"trans-hv", "KV", 35.0, {71, -1}, "coupling transformer HV rating, kV"},
    {"trans-lv", "KV", 35.0, {72, -1}, "coupling transformer LV rating, kV"},
    {"deblock", "", 0.0, {42, 60}, "deblock command 1 (else 0)"},
    {"running", "", 0.0, {43, 61}, "running command 1 (else 0)"},
};
inline constexpr int kSettingCount = static_cast<int>(std::size(kSettings));

inline constexpr int kVoltageTransformers = 4;

struct ChannelValue {
    int channel;
    double value;
};

struct Scenario {
    double grid_kv = 35.0;  // line-to-line RMS of the generated voltages
    double grid_hz = 50.0;
    std::array<bool, kVoltageTransformers> pt{true, false, false, true};  // PT1..PT4
    std::array<double, kSettingCount> settings = [] {
        std::array<double, kSettingCount> values{};
        for (int i = 0; i < kSettingCount; ++i) values[i] = kSettings[i].default_value;
        return values;
    }();
    std::vector<ChannelValue> constants;  // held channels, written over everything generated
    // The parameter channels' values (registry values of the library run); empty: the layout
    // table's registered values.
    std::vector<ChannelValue> parameters;
};

// The 200 host inputs of the scenario at time t (seconds): the grid voltages, the parameter
// channels at `parameters` (else the table's registered values), the ratings and commands, then the
// constants; every other channel is 0.
void GenerateInputs(Entry entry, const Scenario& scenario, double t,
                    std::span<double, kChannels> inputs);

}  // namespace svghost
