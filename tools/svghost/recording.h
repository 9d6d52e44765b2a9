// Recorded host inputs replayed from a CSV file: a header "time,<channel>,..." naming input
// channels by number or name, then one row per instant, each held until the next row's time.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "channels.h"

namespace svghost {

struct Recording {
    std::vector<int> channels;   // input channel of each value column
    std::vector<double> times;   // row times, never decreasing
    std::vector<double> values;  // row-major, channels.size() values per row
};

// Parses the whole file text. On failure returns false with `error` = "FILE:LINE:COLUMN: what",
// LINE and COLUMN counted from 1, COLUMN the character position of the offending cell.
bool ParseRecording(std::string_view text, std::string_view file_name, const Layout& layout,
                    Recording& recording, std::string& error);

// Writes the recorded channels of the last row whose time is at or before t (zero-order hold);
// before the first row nothing is written.
void ApplyRecording(const Recording& recording, double t, std::span<double, kChannels> inputs);

}  // namespace svghost
