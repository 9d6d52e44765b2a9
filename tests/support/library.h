// Loads a deliverable the way a simulation host does and looks up its three entry points.
#pragma once

#include <stdexcept>
#include <string>

#if defined(_WIN32)
#include <windows.h>
#else
#include <dlfcn.h>
#endif

namespace svg::testing {

using InitFn = int (*)(void**, int, int, int, double*, double*, double*, int, void*, double,
                       double);
using StepFn = int (*)(void*, int, double*, double*, int, void*, double);
using TerminateFn = int (*)(void*);

class Library {
  public:
    Library(const std::string& path, const std::string& prefix) {
#if defined(_WIN32)
        handle_ = LoadLibraryA(path.c_str());
#else
        handle_ = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
#endif
        if (handle_ == nullptr) {
            throw std::runtime_error("cannot load " + path);
        }
        init = Lookup<InitFn>("Init" + prefix + "DLL");
        step = Lookup<StepFn>("Step" + prefix + "DLL");
        terminate = Lookup<TerminateFn>("Terminate" + prefix + "DLL");
    }
    ~Library() {
#if defined(_WIN32)
        FreeLibrary(handle_);
#else
        dlclose(handle_);
#endif
    }
    Library(const Library&) = delete;
    Library& operator=(const Library&) = delete;

    InitFn init = nullptr;
    StepFn step = nullptr;
    TerminateFn terminate = nullptr;

  private:
    template <class F>
    F Lookup(const std::string& name) {
#if defined(_WIN32)
        auto* symbol = reinterpret_cast<void*>(GetProcAddress(handle_, name.c_str()));
#else
        void* symbol = dlsym(handle_, name.c_str());
#endif
        if (symbol == nullptr) {
            throw std::runtime_error("missing entry point " + name);
        }
        return reinterpret_cast<F>(symbol);
    }

#if defined(_WIN32)
    HMODULE handle_ = nullptr;
#else
    void* handle_ = nullptr;
#endif
};

}  // namespace svg::testing
