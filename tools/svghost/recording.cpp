#include "recording.h"

#include <algorithm>

#include "text.h"

namespace svghost {
namespace {

struct Cell {
    std::string_view text;  // trimmed
    std::size_t column;     // 1-based character position of the trimmed text
};

// Cells of one line; the column of an empty cell is where the cell starts.
std::vector<Cell> SplitCells(std::string_view line) {
    std::vector<Cell> cells;
    std::size_t start = 0;
    for (const std::string_view raw : SplitCommas(line)) {
        const auto trimmed = Trim(raw);
        const auto offset = trimmed.empty() ? 0 : trimmed.data() - raw.data();
        cells.push_back({trimmed, start + static_cast<std::size_t>(offset) + 1});
        start += raw.size() + 1;
    }
    return cells;
}

class Reporter {
  public:
    Reporter(std::string_view file, std::string& error) : file_(file), error_(error) {}
    bool Fail(std::size_t line, std::size_t column, const std::string& what) {
        error_ = Cat({file_, ":", std::to_string(line), ":", std::to_string(column), ": ", what});
        return false;
    }

  private:
    std::string_view file_;
    std::string& error_;
};

}  // namespace

bool ParseRecording(std::string_view text, std::string_view file_name, const Layout& layout,
                    Recording& recording, std::string& error) {
    Reporter report(file_name, error);
    Recording parsed;
    constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";
    if (text.substr(0, kByteOrderMark.size()) == kByteOrderMark) {
        text.remove_prefix(kByteOrderMark.size());
    }

    std::vector<std::string_view> names;    // header text of each value column
    std::vector<std::size_t> name_columns;  // where it stands in the header line
    std::size_t line_number = 0;
    std::size_t line_start = 0;
    while (line_start < text.size() || line_number == 0) {
        auto line_end = text.find('\n', line_start);
        if (line_end == std::string_view::npos) line_end = text.size();
        auto line = text.substr(line_start, line_end - line_start);
        line_start = line_end + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        const auto cells = SplitCells(line);

        if (line_number == 1) {
            if (cells.front().text != "time") {
                return report.Fail(
                    1, cells.front().column,
                    Cat({"first column must be 'time', found '", cells.front().text, "'"}));
            }
            for (std::size_t i = 1; i < cells.size(); ++i) {
                const Cell& cell = cells[i];
                if (cell.text.empty()) return report.Fail(1, cell.column, "empty column name");
                std::string why;
                const auto channel = ResolveInputChannel(layout, cell.text, why);
                if (!channel) return report.Fail(1, cell.column, why);
                const auto seen =
                    std::find(parsed.channels.begin(), parsed.channels.end(), *channel);
                if (seen != parsed.channels.end()) {
                    const auto first = static_cast<std::size_t>(seen - parsed.channels.begin());
                    return report.Fail(
                        1, cell.column,
                        Cat({"duplicate column: input channel ", std::to_string(*channel),
                             " is already given by '", names[first],
                             "' at 1:", std::to_string(name_columns[first])}));
                }
                parsed.channels.push_back(*channel);
                names.push_back(cell.text);
                name_columns.push_back(cell.column);
            }
            continue;
        }

        if (Trim(line).empty()) continue;  // blank lines, including the one after the last '\n'
        const std::size_t expected = parsed.channels.size() + 1;
        if (cells.size() != expected) {
            const std::size_t column =
                cells.size() > expected ? cells[expected].column : line.size() + 1;
            return report.Fail(line_number, column,
                               Cat({"expected ", std::to_string(expected), " cells, found ",
                                    std::to_string(cells.size())}));
        }
        for (std::size_t i = 0; i < cells.size(); ++i) {
            const Cell& cell = cells[i];
            const std::string_view column_name = i == 0 ? "time" : names[i - 1];
            if (cell.text.empty()) {
                return report.Fail(line_number, cell.column,
                                   Cat({"empty cell in column '", column_name, "'"}));
            }
            double value = 0.0;
            if (!ParseNumber(cell.text, value)) {
                return report.Fail(
                    line_number, cell.column,
                    Cat({"'", cell.text, "' is not a finite number (column '", column_name, "')"}));
            }
            if (i == 0) {
                if (!parsed.times.empty() && value < parsed.times.back()) {
                    return report.Fail(
                        line_number, cell.column,
                        Cat({"time ", cell.text, " goes back before the previous row's time ",
                             FormatNumber(parsed.times.back())}));
                }
                parsed.times.push_back(value);
            } else {
                parsed.values.push_back(value);
            }
        }
    }
    recording = std::move(parsed);
    return true;
}

void ApplyRecording(const Recording& recording, double t, std::span<double, kChannels> inputs) {
    const auto after = std::upper_bound(recording.times.begin(), recording.times.end(), t);
    if (after == recording.times.begin()) return;
    const auto row = static_cast<std::size_t>(after - recording.times.begin()) - 1;
    const std::size_t width = recording.channels.size();
    for (std::size_t i = 0; i < width; ++i) {
        inputs[recording.channels[i]] = recording.values[row * width + i];
    }
}

}  // namespace svghost
