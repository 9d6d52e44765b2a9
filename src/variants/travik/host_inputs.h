// Host input channels 0..43 of the full build, the measurements and the two run commands,
// ascending by channel. Channels 44..149 write parameters (host_channels.h); no module reads
// channels 150..199.
#pragma once

#include "variants/common/host_input.h"

namespace svg {

inline constexpr HostInput kTravikCommandInputs[] = {
    {42, "deblock", "-", "deblock command: 1 releases the converter pulses"},
    {43, "running", "-", "running command: 1 while the converter is in operation"},
};

inline constexpr auto kTravikHostInputs = JoinHostInputs(kMeasurementInputs, kTravikCommandInputs);

}  // namespace svg
