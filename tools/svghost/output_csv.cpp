#include "output_csv.h"

#include "text.h"

namespace svghost {

std::vector<OutputColumn> SelectOutputs(const Layout& layout, OutputSelection selection,
                                        std::span<const int> list) {
    std::vector<OutputColumn> columns;
    const auto numbered = [](int channel) { return Cat({"out", std::to_string(channel)}); };
    switch (selection) {
        case OutputSelection::kWritten:
            for (const ChannelName& entry : layout.outputs) {
                columns.push_back({entry.channel, std::string(entry.name)});
            }
            break;
        case OutputSelection::kAll:
            for (int channel = 0; channel < kChannels; ++channel) {
                columns.push_back({channel, numbered(channel)});
            }
            break;
        case OutputSelection::kList:
            for (const int channel : list) {
                const auto name = OutputName(layout, channel);
                columns.push_back({channel, name.empty() ? numbered(channel) : std::string(name)});
            }
            break;
    }
    return columns;
}

void AppendHeader(std::span<const OutputColumn> columns, std::string& out) {
    out += "time";
    for (const OutputColumn& column : columns) {
        out += ',';
        out += column.name;
    }
    out += '\n';
}

void AppendRow(double t, std::span<const double, kChannels> outputs,
               std::span<const OutputColumn> columns, std::string& out) {
    AppendNumber(out, t);
    for (const OutputColumn& column : columns) {
        out += ',';
        AppendNumber(out, outputs[column.channel]);
    }
    out += '\n';
}

}  // namespace svghost
