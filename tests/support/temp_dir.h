// A fresh working directory for a test that reads or writes the library's files; the old
// working directory is restored and the folder removed afterwards.
#pragma once

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace svg::testing {

class TempWorkDir {
  public:
    TempWorkDir() : old_(std::filesystem::current_path()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "svgtest-XXXXXX").string();
        path_ = MakeUnique(pattern);
        std::filesystem::current_path(path_);
    }
    ~TempWorkDir() {
        std::error_code ignored;
        std::filesystem::current_path(old_, ignored);
        std::filesystem::remove_all(path_, ignored);
    }
    TempWorkDir(const TempWorkDir&) = delete;
    TempWorkDir& operator=(const TempWorkDir&) = delete;

    const std::filesystem::path& path() const { return path_; }

  private:
    static std::filesystem::path MakeUnique(std::string pattern) {
        for (int attempt = 0;; ++attempt) {
            std::filesystem::path candidate =
                pattern.substr(0, pattern.size() - 6) + std::to_string(attempt) + "-" +
                std::to_string(reinterpret_cast<std::uintptr_t>(&pattern) & 0xFFFFFF);
            if (std::filesystem::create_directory(candidate)) {
                return candidate;
            }
        }
    }

    std::filesystem::path old_;
    std::filesystem::path path_;
};

inline std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline void WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace svg::testing
