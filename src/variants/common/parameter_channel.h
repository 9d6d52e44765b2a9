// A host channel that stands for a parameter: the input channel, the qualified parameter name,
// how the channel is written and the parameter's registered default, which a host gives the
// channel unless told otherwise.
#pragma once

#include <cstdint>
#include <string_view>

namespace svg {

// How the input module writes a host channel into its parameter: the low byte of the value
// truncated toward zero, or the single-precision value.
enum class ChannelWrite : std::uint8_t { kByte, kFloat };

struct ParameterChannel {
    int channel;
    std::string_view target;  // qualified parameter name
    ChannelWrite write;
    double registered;  // the parameter's registered default
};

}  // namespace svg
