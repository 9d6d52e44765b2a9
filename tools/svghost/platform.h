// Operating-system services: loading a shared library and finding its functions, the way a
// simulation host does (dlopen on POSIX systems, LoadLibraryA on Windows), and files opened in
// binary mode so that output is byte-identical on every platform.
#pragma once

#include <cstdio>
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

// Switches standard output to binary mode, so lines end in "\n" on Windows as well.
void SetStdoutBinary();

}  // namespace svghost
