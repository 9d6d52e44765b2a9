// Host inputs as a host gives them when the user changes no setting.
#pragma once

#include <array>

#include "variants/pellum/host_channels.h"
#include "variants/travik/host_channels.h"

namespace svg::testing {

// Host channels 44..149 at their parameters' registered values, every other channel as it is.
inline void SetRegisteredParameters(std::array<double, 200>& in) {
    for (const ParameterChannel& row : kTravikParameterChannels) {
        in[row.channel] = row.registered;
    }
}

// The reduced build's settings channels 48..56 at the registered values of the parameters
// they stand for, every other channel as it is.
inline void SetRegisteredSettings(std::array<double, 200>& in) {
    for (const ParameterChannel& row : kPellumParameterChannels) {
        in[row.channel] = row.registered;
    }
}

}  // namespace svg::testing
