// Fuzz targets work in a folder of their own: the library reads and writes its files in the
// working directory.
#pragma once

#include <filesystem>
#include <string>

namespace svg::fuzz {

inline void EnterScratchFolder(const char* name) {
    const auto folder = std::filesystem::temp_directory_path() / (std::string("svg_fuzz_") + name);
    std::filesystem::create_directories(folder);
    std::filesystem::current_path(folder);
}

}  // namespace svg::fuzz
