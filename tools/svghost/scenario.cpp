#include "scenario.h"

#include <algorithm>
#include <cmath>
#include <numbers>

namespace svghost {

void GenerateInputs(Entry entry, const Scenario& scenario, double t,
                    std::span<double, kChannels> inputs) {
    std::fill(inputs.begin(), inputs.end(), 0.0);

    // Line-to-line RMS in kV to phase-to-ground peak in volts; b and c lag a by a third and
    // two thirds of a cycle.
    const double line_rms = scenario.grid_kv * 1000.0;
    const double peak = line_rms * std::sqrt(2.0 / 3.0);
    const double angle = 2.0 * std::numbers::pi * scenario.grid_hz * t;
    constexpr double kThird = 2.0 * std::numbers::pi / 3.0;
    constexpr int kPhaseBase = 0;  // PTk phase a, b, c at 3(k-1) + 0..2
    constexpr int kRmsBase = 12;   // PTk ab, bc, ca at 12 + 3(k-1) + 0..2
    for (int pt = 0; pt < kVoltageTransformers; ++pt) {
        if (!scenario.pt[pt]) continue;
        for (int phase = 0; phase < 3; ++phase) {
            inputs[kPhaseBase + 3 * pt + phase] = peak * std::cos(angle - phase * kThird);
            inputs[kRmsBase + 3 * pt + phase] = line_rms;
        }
    }

    if (scenario.parameters.empty()) {
        for (const svg::ParameterChannel& row : LayoutOf(entry).parameters)
            inputs[row.channel] = row.registered;
    }
    for (const ChannelValue& parameter : scenario.parameters)
        inputs[parameter.channel] = parameter.value;
    for (int i = 0; i < kSettingCount; ++i) {
        const int channel = kSettings[i].channel[static_cast<int>(entry)];
        if (channel >= 0) inputs[channel] = scenario.settings[i];
    }
    for (const ChannelValue& constant : scenario.constants)
        inputs[constant.channel] = constant.value;
}

}  // namespace svghost
