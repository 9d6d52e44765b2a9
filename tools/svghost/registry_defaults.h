// The values a built controller gives its parameters, read from the description file the library
// itself writes, so that a host gives every parameter channel (44..149) the value of the
// parameter it feeds without keeping a copy of the controller's defaults.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "channels.h"
#include "scenario.h"

namespace svghost {

// Parameter values by qualified name ("PLL.parm_pll_kp").
struct RegistryValues {
    std::map<std::string, double, std::less<>> values;
    std::optional<double> Find(std::string_view name) const;
};

// The lines of a description file: `<name>\t\ttype=<t>\t\tdefault=<value>`. Lines without a
// name or a number after "default=" are refused with `error` as "line N: what".
bool ParseDescriptions(std::string_view text, RegistryValues& registry, std::string& error);

// A probe run of the library at `library_path`: in a temporary folder holding a copy of the
// `allDescriptions_0.tsv` of `run_folder` (if there is one), Init with run id `kProbeRunId`,
// Terminate, then read `allDescriptions_<id>.tsv`. The working directory is restored and the
// folder removed. False with `error` when the library cannot be loaded or Init fails; a library
// that writes no description file gives an empty registry and no error.
inline constexpr int kProbeRunId = 97;
bool ProbeRegistry(const std::string& library_path, Entry entry, const std::string& run_folder,
                   RegistryValues& registry, std::string& error);

// The value of every parameter channel of the layout: the registry's value of its parameter, the
// table's registered value where the registry lacks it (those channels' names go to `missing`).
std::vector<ChannelValue> ParameterChannelValues(const Layout& layout,
                                                 const RegistryValues& registry,
                                                 std::vector<std::string>& missing);

}  // namespace svghost
