// Host inputs as a host gives them when the user changes no setting.
#pragma once

#include <array>

#include "variants/travik/host_channels.h"

namespace svg::testing {

// Host channels 44..149 at their parameters' registered values, every other channel as it is.
inline void SetRegisteredParameters(std::array<double, 200>& in) {
    for (const ParameterChannel& row : kTravikParameterChannels) {
        in[row.channel] = row.registered;
    }
}

}  // namespace svg::testing
