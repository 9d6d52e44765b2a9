// Any bytes as a recording that svghost replays, for either channel layout, then the replay of
// what was accepted.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "channels.h"
#include "recording.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    for (const svghost::Entry entry : {svghost::Entry::kTravik, svghost::Entry::kPellum}) {
        svghost::Recording recording;
        std::string error;
        if (svghost::ParseRecording(text, "fuzz.csv", svghost::LayoutOf(entry), recording, error)) {
            std::array<double, svghost::kChannels> inputs{};
            for (const double t : {-1.0, 0.0, 0.5, 1e9}) {
                svghost::ApplyRecording(recording, t, inputs);
            }
        }
    }
    return 0;
}
