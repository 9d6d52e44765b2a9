// The result file: a header "time,<name>,..." and one row per host step holding the step time
// and the chosen output channels, every number printed as "%.9g" would.
#pragma once

#include <span>
#include <string>
#include <vector>

#include "channels.h"

namespace svghost {

enum class OutputSelection {
    kWritten,  // the channels the library writes, by name
    kAll,      // all 200 channels as out0..out199
    kList,     // chosen channels, by name where the layout names them, else outN
};

struct OutputColumn {
    int channel;
    std::string name;
};

std::vector<OutputColumn> SelectOutputs(const Layout& layout, OutputSelection selection,
                                        std::span<const int> list);

// Both append one line ending in "\n".
void AppendHeader(std::span<const OutputColumn> columns, std::string& out);
void AppendRow(double t, std::span<const double, kChannels> outputs,
               std::span<const OutputColumn> columns, std::string& out);

}  // namespace svghost
