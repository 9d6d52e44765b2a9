#include "platform.h"

#include <cerrno>
#include <cstring>

#include "text.h"

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace svghost {
namespace {

#ifdef _WIN32
std::string LastErrorText() {
    const DWORD code = GetLastError();
    char text[512] = {};
    const DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                        nullptr, code, 0, text, sizeof text, nullptr);
    std::string message(text, length);
    while (!message.empty() && (message.back() == '\n' || message.back() == '\r' ||
                                message.back() == ' ' || message.back() == '.')) {
        message.pop_back();
    }
    return Cat({message, " (error ", std::to_string(code), ")"});
}
#else
std::string LastErrorText() {
    const char* text = dlerror();
    return text != nullptr ? text : "unknown error";
}
#endif

}  // namespace

SharedLibrary::~SharedLibrary() {
    if (handle_ == nullptr) return;
#ifdef _WIN32
    FreeLibrary(static_cast<HMODULE>(handle_));
#else
    dlclose(handle_);
#endif
}

bool SharedLibrary::Open(const std::string& path, std::string& error) {
    path_ = path;
#ifdef _WIN32
    handle_ = LoadLibraryA(path.c_str());
#else
    const std::string local = path.find('/') == std::string::npos ? Cat({"./", path}) : path;
    handle_ = dlopen(local.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
    if (handle_ == nullptr) {
        error = Cat({"cannot load library '", path, "': ", LastErrorText()});
        return false;
    }
    return true;
}

AnyFunction SharedLibrary::Find(const char* name, std::string& error) const {
#ifdef _WIN32
    const auto function =
        reinterpret_cast<AnyFunction>(GetProcAddress(static_cast<HMODULE>(handle_), name));
#else
    dlerror();
    const auto function = reinterpret_cast<AnyFunction>(dlsym(handle_, name));
#endif
    if (function == nullptr) {
        error = Cat({"library '", path_, "' exports no function '", name, "'"});
    }
    return function;
}

FilePtr OpenBinaryFile(const std::string& path, const char* mode, std::string& error) {
    FilePtr file(std::fopen(path.c_str(), mode));
    if (!file) error = Cat({"cannot open '", path, "': ", std::strerror(errno)});
    return file;
}

bool ReadBinaryFile(const std::string& path, std::string& text, std::string& error) {
    const FilePtr file = OpenBinaryFile(path, "rb", error);
    if (!file) return false;
    text.clear();
    char buffer[65536];
    std::size_t got = 0;
    while ((got = std::fread(buffer, 1, sizeof buffer, file.get())) > 0) text.append(buffer, got);
    if (std::ferror(file.get()) != 0) {
        error = Cat({"cannot read '", path, "'"});
        return false;
    }
    return true;
}

void SetStdoutBinary() {
#ifdef _WIN32
    _setmode(_fileno(stdout), _O_BINARY);
#endif
}

WorkingFolder::~WorkingFolder() {
    std::error_code ignored;
    if (entered_) std::filesystem::current_path(previous_, ignored);
}

bool WorkingFolder::Enter(const std::filesystem::path& folder, std::string& error) {
    std::error_code ec;
    previous_ = std::filesystem::current_path(ec);
    if (!ec) std::filesystem::current_path(folder, ec);
    if (ec) {
        error = "cannot work in '" + folder.string() + "': " + ec.message();
        return false;
    }
    entered_ = true;
    return true;
}

}  // namespace svghost
