// What svg_fixed_run leaves in a run folder and how svg_compare_runs reads it back.
#pragma once

#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace svg::runs {

inline constexpr int kRunId = 3;  // the number in the registry file names
inline constexpr int kOutputChannels = 200;
inline constexpr char kOutputsFile[] = "outputs.hex";
inline constexpr int kHexDigits = 16;
// "<step>" then " <16 hex digits>" per channel, LF and the terminating zero.
inline constexpr int kLineChars = 12 + kOutputChannels * (1 + kHexDigits) + 2;

inline std::string DescriptionFile() {
    return "allDescriptions_" + std::to_string(kRunId) + ".tsv";
}

inline std::uint64_t Bits(double value) {
    std::uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

inline double FromBits(std::uint64_t bits) {
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// One line of outputs.hex, formatted without the C library so that no target's printf can
// make two identical results look different.
inline void FormatStep(int step, const double* outputs, char (&line)[kLineChars]) {
    constexpr char kDigits[] = "0123456789abcdef";
    const std::string number = std::to_string(step);
    std::size_t at = number.copy(line, 11);
    for (int ch = 0; ch < kOutputChannels; ++ch) {
        line[at++] = ' ';
        const std::uint64_t bits = Bits(outputs[ch]);
        for (int d = kHexDigits - 1; d >= 0; --d) {
            line[at++] = kDigits[(bits >> (4 * d)) & 0xFu];
        }
    }
    line[at++] = '\n';
    line[at] = '\0';
}

// The step number and output values of one line of outputs.hex; nullopt when malformed.
struct StepOutputs {
    long step;
    std::vector<double> values;
};

inline std::optional<StepOutputs> ParseStep(std::string_view line) {
    if (line.empty()) {
        return std::nullopt;
    }
    StepOutputs result{0, {}};
    std::size_t at = 0;
    for (; at < line.size() && line[at] >= '0' && line[at] <= '9'; ++at) {
        result.step = result.step * 10 + (line[at] - '0');
    }
    while (at < line.size()) {
        if (line[at] != ' ' || line.size() - at < 1 + kHexDigits) {
            return std::nullopt;
        }
        std::uint64_t bits = 0;
        for (int d = 1; d <= kHexDigits; ++d) {
            const char c = line[at + d];
            const int digit = c >= '0' && c <= '9'   ? c - '0'
                              : c >= 'a' && c <= 'f' ? c - 'a' + 10
                                                     : -1;
            if (digit < 0) {
                return std::nullopt;
            }
            bits = bits << 4 | static_cast<std::uint64_t>(digit);
        }
        result.values.push_back(FromBits(bits));
        at += 1 + kHexDigits;
    }
    return result;
}

}  // namespace svg::runs
