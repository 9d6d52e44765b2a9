// Any bytes as a simulator scenario file: the TOML reader and every check behind it.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz_folder.h"
#include "scenario.h"

// The shipped installation file, which the scenarios include, next to the fuzzed one.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
    svg::fuzz::EnterScratchFolder("scenario");
    std::filesystem::create_directories("common");
    std::filesystem::copy_file(SVG_SCENARIOS_DIR "/common/installation.toml",
                               "common/installation.toml",
                               std::filesystem::copy_options::overwrite_existing);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    svgsim::Scenario scenario;
    std::string error;
    svgsim::ParseScenario(std::string(reinterpret_cast<const char*>(data), size), "fuzz.toml",
                          scenario, error);
    return 0;
}
