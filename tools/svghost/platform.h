// Operating-system services: loading a shared library and finding its functions, the way a
// simulation host does (dlopen on POSIX systems, LoadLibraryA on Windows), and files opened in
// binary mode so that output is byte-identical on every platform.
#pragma once

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>

namespace svghost {

// Any exported function; cast to its real type before calling.
using AnyFunction = void (*)();

class SharedLibrary {
  public:
    SharedLibrary() = default;
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;
    ~SharedLibrary();

    // Loads the library at `path`. A path without a directory is taken relative to the
    // working directory, not searched for on the system's library path.
    bool Open(const std::string& path, std::string& error);

    // The exported function of that undecorated name; null with `error` when missing.
    AnyFunction Find(const char* name, std::string& error) const;

  private:
    void* handle_ = nullptr;
    std::string path_;
};

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// fopen in binary mode ("rb" or "wb"); null with `error` naming the file when it fails.
FilePtr OpenBinaryFile(const std::string& path, const char* mode, std::string& error);

// Whole file into `text`; false with `error` naming the file.
bool ReadBinaryFile(const std::string& path, std::string& text, std::string& error);

// Makes a folder the working directory, where the library writes its trace and registry files,
// and returns to the previous one when it leaves scope.
class WorkingFolder {
  public:
    WorkingFolder() = default;
    WorkingFolder(const WorkingFolder&) = delete;
    WorkingFolder& operator=(const WorkingFolder&) = delete;
    ~WorkingFolder();

    // False with `error` naming the folder when it cannot be entered.
    bool Enter(const std::filesystem::path& folder, std::string& error);

  private:
    std::filesystem::path previous_;
    bool entered_ = false;
};

// Switches standard output to binary mode, so lines end in "\n" on Windows as well.
void SetStdoutBinary();

}  // namespace svghost
