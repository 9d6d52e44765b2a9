// Host channel layouts of the two deliverables: which input channel carries what, the names
// by which recordings and the command line address input channels, and the names of the
// output channels written to the result file.
#pragma once

#include <optional>
#include <span>
#include <string>
#include <string_view>

#include "variants/pellum/host_channels.h"
#include "variants/travik/host_channels.h"

namespace svghost {

inline constexpr int kChannels = 200;  // doubles per host input and output array

// Full build (entry prefix Travik) or reduced build (Pellum).
enum class Entry { kTravik = 0, kPellum = 1 };

struct ChannelName {
    int channel;
    std::string_view name;
};

struct Layout {
    std::string_view prefix;  // InitTravikDLL, StepTravikDLL, TerminateTravikDLL
    // Named input channels, ascending within each group: the measuring points shared by both
    // builds, then the build's own commands, ratings and settings.
    std::span<const ChannelName> inputs[2];
    std::span<const ChannelName> outputs;  // channels the library writes, ascending
    // Channels that stand for parameters (the full build overwrites its parameters from them
    // at every step; the reduced build reads its ride-through settings and current limit from
    // them instead), with the registered values a run gives them unless told otherwise.
    std::span<const svg::ParameterChannel> parameters;
};

const Layout& LayoutOf(Entry entry);

// Reduced build when the file name (not the directory) contains "Pellum" in any case.
Entry DetectEntry(std::string_view library_path);

std::optional<Entry> ParseEntry(std::string_view text);

// Input channel by number ("17") or by name ("Urms_PT1_bc"). Returns the channel, or nullopt
// with `why` saying what is wrong with the text.
std::optional<int> ResolveInputChannel(const Layout& layout, std::string_view text,
                                       std::string& why);

// Name of an input or output channel, empty when the layout gives it none.
std::string_view InputName(const Layout& layout, int channel);
std::string_view OutputName(const Layout& layout, int channel);

}  // namespace svghost
