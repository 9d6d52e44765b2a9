// Fuzz targets work in a folder of their own: the library reads and writes its files in the
// working directory. The folder carries the process number, so several processes of one
// target (on several cores, or libFuzzer's -jobs) never share their files; it is removed when
// the run ends normally and kept after a crash, for a look at what the library had written.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>
#include <system_error>

namespace svg::fuzz {

inline void EnterScratchFolder(const char* name) {
    struct Scratch {
        std::filesystem::path folder;
        ~Scratch() {
            std::error_code ignored;
            std::filesystem::current_path(folder.parent_path(), ignored);
            std::filesystem::remove_all(folder, ignored);
        }
    };
    static const Scratch scratch{
        std::filesystem::temp_directory_path() /
        ("svg_fuzz_" + std::string(name) + "_" + std::to_string(getpid()))};
    std::filesystem::create_directories(scratch.folder);
    std::filesystem::current_path(scratch.folder);
}

}  // namespace svg::fuzz
